#pragma once

#include <QApplication>
#include <QString>
#include <QtTest>

// Process-wide preparation for tests that run the embedded browser.
class TestEnvironment {
public:
    // Must run before the QApplication exists: picks a free port on 127.0.0.1 and has the
    // browser serve the DevTools protocol there (*devtoolsPort receives it, 0 if none could be
    // found), makes the browser runnable under root and without a GPU, and moves HOME,
    // XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_RUNTIME_DIR and TMPDIR into a fresh
    // temporary folder unless ZELK_TEST_KEEP_ENV is set. The folder is removed at exit.
    static void prepareBeforeApplication(int* devtoolsPort);

    // The port chosen by the last prepareBeforeApplication(), 0 before.
    static int devtoolsPort();
    // The temporary folder the user folders point into; empty when ZELK_TEST_KEEP_ENV is set.
    static QString temporaryRoot();

    // Creates the user folders (home, config, data, cache, runtime, temporary) under root, each
    // private to the user, and returns every environment variable with its folder; an empty list
    // when a folder cannot be made (the reason is printed).
    static QList<QPair<QByteArray, QString>> createUserFolders(const QString& root);
    // Creates path (mode 0700 exactly, whatever the umask); false with the reason printed.
    static bool makePrivateFolder(const QString& path);
    // A port on 127.0.0.1 that was free a moment ago; 0 when none could be found.
    static int freeLoopbackPort();
};

// The file:// URL as the browser spells it (percent-encoded), for matching page targets.
QString fileUrl(const QString& absolutePath);

// Replaces QTEST_MAIN for tests that show widgets or run the browser.
#define ZELK_GUI_TEST_MAIN(TestClass)                                 \
    int main(int argc, char** argv) {                                 \
        int zelkDevtoolsPort = 0;                                     \
        TestEnvironment::prepareBeforeApplication(&zelkDevtoolsPort); \
        QApplication app(argc, argv);                                 \
        app.setAttribute(Qt::AA_Use96Dpi, true);                      \
        TestClass testObject;                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                    \
        return QTest::qExec(&testObject, argc, argv);                 \
    }
