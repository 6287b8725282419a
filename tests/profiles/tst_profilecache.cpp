#include "profiles/ProfileCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class ProfileCacheTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void storeListsEachPathOnceInOrderOfFirstChange();
    void rememberedTextsAreNotDirty();
    void flushWritesEveryDirtyPathAndClearsTheList();
    void unwritablePathStopsTheFlushAndKeepsEveryPathDirty();
    void flushOfAnEmptyCacheOnlyClearsTheList();
    void failedWriteLeavesTheOldFileWhole();

private:
    static QString read(const QString& path);
    std::unique_ptr<QTemporaryDir> m_dir;
};

QString ProfileCacheTest::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("<unreadable>");
    }
    return QString::fromUtf8(file.readAll());
}

void ProfileCacheTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
}

void ProfileCacheTest::storeListsEachPathOnceInOrderOfFirstChange() {
    ProfileCache cache;
    cache.store(QStringLiteral("/b"), QStringLiteral("1"));
    cache.store(QStringLiteral("/a"), QStringLiteral("2"));
    cache.store(QStringLiteral("/b"), QStringLiteral("3"));
    QCOMPARE(cache.dirtyPaths(), QStringList({QStringLiteral("/b"), QStringLiteral("/a")}));
    QCOMPARE(cache.text(QStringLiteral("/b")), QStringLiteral("3"));
}

void ProfileCacheTest::rememberedTextsAreNotDirty() {
    ProfileCache cache;
    cache.remember(QStringLiteral("/a"), QStringLiteral("as read"));
    QVERIFY(cache.contains(QStringLiteral("/a")));
    QVERIFY(cache.dirtyPaths().isEmpty());
}

void ProfileCacheTest::flushWritesEveryDirtyPathAndClearsTheList() {
    ProfileCache cache;
    const QString first = m_dir->filePath(QStringLiteral("first.xml"));
    const QString second = m_dir->filePath(QStringLiteral("second.xml"));
    cache.store(first, QStringLiteral("<a>\n\t<b/>\n</a>\n"));
    cache.store(second, QStringLiteral("<c 名=\"值\"/>"));

    const FlushResult result = cache.flush();
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(cache.dirtyPaths().isEmpty());
    QCOMPARE(read(first), QStringLiteral("<a>\n\t<b/>\n</a>\n"));
    QCOMPARE(read(second), QStringLiteral("<c 名=\"值\"/>"));
    QCOMPARE(cache.texts().size(), 2);
}

void ProfileCacheTest::unwritablePathStopsTheFlushAndKeepsEveryPathDirty() {
    ProfileCache cache;
    const QString first = m_dir->filePath(QStringLiteral("first.xml"));
    const QString blocked = m_dir->filePath(QStringLiteral("missing/second.xml"));
    const QString third = m_dir->filePath(QStringLiteral("third.xml"));
    cache.store(first, QStringLiteral("one"));
    cache.store(blocked, QStringLiteral("two"));
    cache.store(third, QStringLiteral("three"));

    const FlushResult failed = cache.flush();
    QVERIFY(!failed.ok);
    QCOMPARE(failed.failedPath, blocked);
    QVERIFY2(failed.error.contains(blocked), qPrintable(failed.error));
    QCOMPARE(read(first), QStringLiteral("one"));
    QVERIFY(!QFile::exists(third));
    QCOMPARE(cache.dirtyPaths(), QStringList({first, blocked, third}));

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("missing")));
    const FlushResult retried = cache.flush();
    QVERIFY2(retried.ok, qPrintable(retried.error));
    QVERIFY(cache.dirtyPaths().isEmpty());
    QCOMPARE(read(blocked), QStringLiteral("two"));
    QCOMPARE(read(third), QStringLiteral("three"));
}

void ProfileCacheTest::flushOfAnEmptyCacheOnlyClearsTheList() {
    ProfileCache cache;
    QVERIFY(cache.flush().ok);
    QVERIFY(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void ProfileCacheTest::failedWriteLeavesTheOldFileWhole() {
    // A path that is a directory cannot be replaced: the flush fails and nothing is half-written.
    const QString path = m_dir->filePath(QStringLiteral("profile.xml"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    QVERIFY(old.write("old text") == 8);
    old.close();
    const QString directory = m_dir->filePath(QStringLiteral("dir.xml"));
    QVERIFY(QDir().mkpath(directory));

    ProfileCache cache;
    cache.store(directory, QStringLiteral("new"));
    cache.store(path, QStringLiteral("new text"));
    QVERIFY(!cache.flush().ok);
    QCOMPARE(read(path), QStringLiteral("old text"));
    QVERIFY(QFileInfo(directory).isDir());
    const QStringList leftovers = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(leftovers, QStringList({QStringLiteral("profile.xml")}));
}

QTEST_GUILESS_MAIN(ProfileCacheTest)
#include "tst_profilecache.moc"
