#include "profiles/ProfileCache.h"

#include "profiles/ProfilesLog.h"

#include <QSaveFile>

void ProfileCache::remember(const QString& path, const QString& text) {
    m_texts.insert(path, text);
}

void ProfileCache::store(const QString& path, const QString& text) {
    m_texts.insert(path, text);
    if (!m_dirty.contains(path)) {
        m_dirty.append(path);
    }
}

FlushResult ProfileCache::flush() {
    if (m_texts.isEmpty()) {
        m_dirty.clear();
        return {};
    }
    for (const QString& path : std::as_const(m_dirty)) {
        FlushResult result = writeTextFileAtomically(path, m_texts.value(path));
        if (!result.ok) {
            qCWarning(lcProfiles) << "profile flush stopped:" << result.error;
            return result;
        }
    }
    m_dirty.clear();
    return {};
}

FlushResult writeTextFileAtomically(const QString& path, const QString& text) {
    FlushResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        result.ok = false;
        result.failedPath = path;
        result.error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return result;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        result.ok = false;
        result.failedPath = path;
        result.error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    return result;
}
