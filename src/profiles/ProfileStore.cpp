#include "profiles/ProfileStore.h"

#include "profiles/ProfilesLog.h"
#include "profiles/XmlDocument.h"
#include "profiles/XmlText.h"

#include <QFile>

ProfileStore::ProfileStore(ProfileCache* cache, const QString& applicationDir)
    : m_cache(cache), m_applicationDir(applicationDir) {}

QString ProfileStore::absolutePath(const QString& relative) const {
    return m_applicationDir + QLatin1Char('/') + relative;
}

std::optional<QString> ProfileStore::load(const QString& absolutePath) {
    if (m_cache->contains(absolutePath)) {
        return m_cache->text(absolutePath);
    }
    QFile file(absolutePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcProfiles) << "cannot read profile" << absolutePath << file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcProfiles) << "cannot read profile" << absolutePath << file.errorString();
        return std::nullopt;
    }
    const QString text = decodeXmlFileText(bytes);
    m_cache->remember(absolutePath, text);
    return text;
}

void ProfileStore::store(const QString& absolutePath, const pugi::xml_document& document) {
    m_cache->store(absolutePath, XmlDocument::serializeDocument(document));
}

void ProfileStore::storeText(const QString& absolutePath, const QString& text) {
    m_cache->store(absolutePath, text);
}
