#include "TestEnvironment.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_devtoolsPort = 0;
// Lives until static destruction, after the application and its browser are gone.
std::unique_ptr<QTemporaryDir> g_root;

// Binds port 0 on the loopback address and reads back the port the kernel chose. The port is
// released again for the browser; a collision in between is possible but unlikely.
int freeLoopbackPortImpl() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::perror("zelk test environment: socket");
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int port = 0;
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        std::perror("zelk test environment: bind");
    } else if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("zelk test environment: getsockname");
    } else {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool makePrivateDirImpl(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        std::perror(("zelk test environment: mkdir " + native).constData());
        return false;
    }
    // mkdir honours the umask; the runtime folder must be exactly 0700.
    if (::chmod(native.constData(), 0700) != 0) {
        std::perror(("zelk test environment: chmod " + native).constData());
        return false;
    }
    return true;
}

void appendChromiumFlag(const QByteArray& flag) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.split(' ').contains(flag))
        return;
    if (!flags.isEmpty())
        flags += ' ';
    flags += flag;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

void redirectUserFolders() {
    g_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/zelk-test-XXXXXX");
    if (!g_root->isValid()) {
        std::fprintf(stderr, "zelk test environment: cannot create a temporary folder: %s\n",
                     qPrintable(g_root->errorString()));
        std::fflush(stderr);
        std::abort();  // running on would write into the real home
    }
    const QList<QPair<QByteArray, QString>> folders =
        TestEnvironment::createUserFolders(g_root->path());
    if (folders.isEmpty()) {
        std::abort();  // running on would write into the real home
    }
    for (const auto& folder : folders) {
        qputenv(folder.first.constData(), QFile::encodeName(folder.second));
    }
}

}  // namespace

void TestEnvironment::prepareBeforeApplication(int* devtoolsPort) {
    if (qEnvironmentVariableIsEmpty("ZELK_TEST_KEEP_ENV"))
        redirectUserFolders();

    g_devtoolsPort = freeLoopbackPortImpl();
    if (g_devtoolsPort != 0)
        qputenv("QTWEBENGINE_REMOTE_DEBUGGING", "127.0.0.1:" + QByteArray::number(g_devtoolsPort));
    else
        std::fprintf(stderr, "zelk test environment: no free port for the DevTools protocol\n");
    if (devtoolsPort)
        *devtoolsPort = g_devtoolsPort;

    // The browser's zygote sandbox refuses to start as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    appendChromiumFlag("--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

int TestEnvironment::devtoolsPort() {
    return g_devtoolsPort;
}

QString TestEnvironment::temporaryRoot() {
    return g_root ? g_root->path() : QString();
}

QString fileUrl(const QString& absolutePath) {
    return QUrl::fromLocalFile(absolutePath).toString(QUrl::FullyEncoded);
}

QList<QPair<QByteArray, QString>> TestEnvironment::createUserFolders(const QString& root) {
    static const struct {
        const char* variable;
        const char* folder;
    } kFolders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_RUNTIME_DIR", "runtime"},
        {"TMPDIR", "tmp"},
    };
    QList<QPair<QByteArray, QString>> folders;
    for (const auto& entry : kFolders) {
        const QString path = root + '/' + QLatin1String(entry.folder);
        if (!QDir().mkpath(path) || !makePrivateFolder(path)) {
            std::fprintf(stderr, "zelk test environment: cannot create %s\n", qPrintable(path));
            std::fflush(stderr);
            return {};
        }
        folders.append({QByteArray(entry.variable), path});
    }
    return folders;
}

bool TestEnvironment::makePrivateFolder(const QString& path) {
    return makePrivateDirImpl(path);
}

int TestEnvironment::freeLoopbackPort() {
    return freeLoopbackPortImpl();
}
