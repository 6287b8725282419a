#include "profiles/ClientConfFile.h"

#include "profiles/XmlDocument.h"

namespace ClientConfFile {

std::optional<QString> withSetting(const QString& confText, const QString& key,
                                   const QString& value) {
    pugi::xml_document document;
    if (!XmlDocument::parse(confText, &document)) {
        return std::nullopt;
    }
    const QByteArray name = key.toUtf8();
    pugi::xml_attribute attribute =
        document.child("root").child("client").attribute(name.constData());
    if (attribute) {
        attribute.set_value(value.toUtf8().constData());
    }
    return XmlDocument::serializeDocument(document);
}

}  // namespace ClientConfFile
