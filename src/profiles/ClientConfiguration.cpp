#include "profiles/ClientConfiguration.h"

#include "profiles/XmlText.h"

#include <QFile>
#include <pugixml.hpp>

ClientConfiguration loadClientConfiguration(const QString& path, const QString& macAddress,
                                            const QString& ipAddress) {
    ClientConfiguration config;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        config.error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return config;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(bytes.constData(), bytes.size());
    if (!parsed) {
        config.error = QStringLiteral("%1 does not parse: %2 at offset %3")
                           .arg(path, QString::fromUtf8(parsed.description()))
                           .arg(parsed.offset);
        return config;
    }

    for (const pugi::xml_attribute& attribute :
         document.child("root").child("client").attributes()) {
        config.values.insert(QString::fromUtf8(attribute.name()),
                             QString::fromUtf8(attribute.value()));
    }
    config.values.insert(QStringLiteral("MacAddress"), macAddress);
    config.values.insert(QStringLiteral("IpAddress"), ipAddress);
    config.text = decodeXmlFileText(bytes);
    config.loaded = true;
    return config;
}
