#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct FlushResult {
    bool ok = true;
    QString failedPath;
    QString error;
};

// The profile documents the page edits, kept as text in memory and written back to disk on
// demand. A path is dirty exactly when its cached text differs from what was last written.
class ProfileCache {
public:
    bool contains(const QString& path) const { return m_texts.contains(path); }
    QString text(const QString& path) const { return m_texts.value(path); }
    // Caches a text as read from disk: the path is not dirty because of it.
    void remember(const QString& path, const QString& text);
    // Replaces the cached text and lists the path as dirty (once, in order of first change).
    void store(const QString& path, const QString& text);

    const QMap<QString, QString>& texts() const { return m_texts; }
    const QStringList& dirtyPaths() const { return m_dirty; }
    bool isEmpty() const { return m_texts.isEmpty(); }

    // Writes every dirty path, each atomically. A path that cannot be written stops the pass and
    // keeps every path dirty, those already written included, so the next flush retries them all.
    FlushResult flush();

private:
    QMap<QString, QString> m_texts;
    QStringList m_dirty;
};

// Writes a UTF-8 text file atomically through text mode (platform line ends, no byte-order mark).
FlushResult writeTextFileAtomically(const QString& path, const QString& text);
