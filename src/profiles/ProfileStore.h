#pragma once

#include "profiles/ProfileCache.h"

#include <QString>
#include <optional>
#include <pugixml.hpp>

// Where profile commands find their documents: paths the page names relative to the application
// directory, each read from disk once and then edited in the cache.
class ProfileStore {
public:
    ProfileStore(ProfileCache* cache, const QString& applicationDir);

    // The application directory, "/", then the page's path, joined as text.
    QString absolutePath(const QString& relative) const;
    // The cached text, read from the file on first use; nothing when the file cannot be read.
    std::optional<QString> load(const QString& absolutePath);
    // Replaces the cached text with the serialised document and marks the path dirty.
    void store(const QString& absolutePath, const pugi::xml_document& document);
    void storeText(const QString& absolutePath, const QString& text);

    ProfileCache& cache() { return *m_cache; }

private:
    ProfileCache* m_cache;
    QString m_applicationDir;
};
