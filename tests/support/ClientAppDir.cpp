#include "ClientAppDir.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <sys/un.h>
#include <unistd.h>

namespace {

// A hard link keeps the program's own path, which becomes its application directory (a symbolic
// link would be resolved back to the build). Across file systems a copy does the same.
bool linkOrCopy(const QString& source, const QString& destination) {
    if (::link(QFile::encodeName(source).constData(), QFile::encodeName(destination).constData()) ==
        0) {
        return true;
    }
    return QFile::copy(source, destination);
}

bool copyTree(const QString& source, const QString& destination, QString* error) {
    const QDir from(source);
    if (!from.exists()) {
        *error = QStringLiteral("missing folder %1").arg(source);
        return false;
    }
    if (!QDir().mkpath(destination)) {
        *error = QStringLiteral("cannot create %1").arg(destination);
        return false;
    }
    QDirIterator it(source, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = destination + QLatin1Char('/') + from.relativeFilePath(path);
        const bool ok = it.fileInfo().isDir() ? QDir().mkpath(target) : QFile::copy(path, target);
        if (!ok) {
            *error = QStringLiteral("cannot copy %1 to %2").arg(path, target);
            return false;
        }
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

ClientAppDir::ClientAppDir(const QString& clientExecutable, const QString& deviceLibrary,
                           const QString& dcsimExecutable, const Options& options)
    : m_root(QDir::tempPath() + QStringLiteral("/zelk-app-XXXXXX")) {
    build(clientExecutable, deviceLibrary, dcsimExecutable, options);
}

ClientAppDir::ClientAppDir(const QString& clientExecutable, const QString& deviceLibrary,
                           const QString& dcsimExecutable)
    : ClientAppDir(clientExecutable, deviceLibrary, dcsimExecutable, Options()) {}

QString ClientAppDir::rootPath() const {
    return m_root.path();
}

bool ClientAppDir::fail(const QString& message) {
    if (m_error.isEmpty()) {
        m_error = message;
    }
    return false;
}

bool ClientAppDir::build(const QString& clientExecutable, const QString& deviceLibrary,
                         const QString& dcsimExecutable, const Options& options) {
    if (!m_root.isValid()) {
        return fail(QStringLiteral("no temporary folder: %1").arg(m_root.errorString()));
    }
    m_appDir = m_root.filePath(QStringLiteral("app"));
    if (!QDir().mkpath(m_appDir)) {
        return fail(QStringLiteral("cannot create %1").arg(m_appDir));
    }
    if (!linkOrCopy(clientExecutable, executable())) {
        return fail(QStringLiteral("cannot link or copy %1").arg(clientExecutable));
    }
    if (options.withDeviceLibrary &&
        !QFile::copy(deviceLibrary, m_appDir + QStringLiteral("/libdc.so"))) {
        return fail(QStringLiteral("cannot copy %1").arg(deviceLibrary));
    }
    if (!QFile::copy(dcsimExecutable, m_appDir + QStringLiteral("/dcsim"))) {
        return fail(QStringLiteral("cannot copy %1").arg(dcsimExecutable));
    }
    const QString simConfig =
        options.simConfigFile.isEmpty()
            ? QFileInfo(deviceLibrary).absolutePath() + QStringLiteral("/dc-sim.json")
            : options.simConfigFile;
    if (!QFile::copy(simConfig, simConfigPath())) {
        return fail(QStringLiteral("cannot copy %1").arg(simConfig));
    }

    const QString builtAppDir = QFileInfo(clientExecutable).absolutePath();
    const QString pages = options.pageDirectory.isEmpty() ? builtAppDir + QStringLiteral("/view")
                                                          : options.pageDirectory;
    QString error;
    if (!copyTree(pages, m_appDir + QStringLiteral("/view"), &error) ||
        !copyTree(builtAppDir + QStringLiteral("/Resources/profiles"),
                  m_appDir + QStringLiteral("/Resources/profiles"), &error)) {
        return fail(error);
    }
    if (options.confXml &&
        !writeFile(m_appDir + QStringLiteral("/Resources/profiles/conf.xml"), *options.confXml)) {
        return fail(QStringLiteral("cannot write conf.xml"));
    }
    return prepareEnvironment();
}

bool ClientAppDir::prepareEnvironment() {
    m_environment = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QByteArray, QString>> folders =
        TestEnvironment::createUserFolders(m_root.path());
    if (folders.isEmpty()) {
        return fail(QStringLiteral("cannot create the user folders under %1").arg(m_root.path()));
    }
    for (const auto& folder : folders) {
        m_environment.insert(QString::fromLatin1(folder.first), folder.second);
    }

    m_devtoolsPort = TestEnvironment::freeLoopbackPort();
    if (m_devtoolsPort == 0) {
        return fail(QStringLiteral("no free port for the DevTools protocol"));
    }
    m_environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
                         QStringLiteral("127.0.0.1:%1").arg(m_devtoolsPort));
    m_environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                         QStringLiteral("--disable-gpu"));
    if (::geteuid() == 0) {
        m_environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    }

    const QString simDir = m_root.filePath(QStringLiteral("sim"));
    if (!TestEnvironment::makePrivateFolder(simDir)) {
        return fail(QStringLiteral("cannot create %1").arg(simDir));
    }
    m_simState = simDir + QStringLiteral("/dc-sim-state.json");
    m_simSocket = simDir + QStringLiteral("/dc-sim.sock");
    if (QFile::encodeName(m_simSocket).size() >= static_cast<int>(sizeof(sockaddr_un::sun_path))) {
        return fail(QStringLiteral("socket path too long: %1").arg(m_simSocket));
    }
    m_environment.insert(QStringLiteral("DC_SIM_CONFIG"), simConfigPath());
    m_environment.insert(QStringLiteral("DC_SIM_STATE"), m_simState);
    m_environment.insert(QStringLiteral("DC_SIM_SOCKET"), m_simSocket);
    return true;
}

ClientAppDir::DcsimResult ClientAppDir::runDcsim(const QStringList& arguments,
                                                 int timeoutMs) const {
    DcsimResult result;
    QProcess dcsim;
    dcsim.setProcessEnvironment(m_environment);
    dcsim.start(m_appDir + QStringLiteral("/dcsim"), arguments);
    if (!dcsim.waitForStarted(timeoutMs)) {
        result.err = dcsim.errorString();
        return result;
    }
    if (!dcsim.waitForFinished(timeoutMs)) {
        dcsim.kill();
        dcsim.waitForFinished();
        result.err = QStringLiteral("dcsim did not end within %1 ms").arg(timeoutMs);
        return result;
    }
    result.out = QString::fromUtf8(dcsim.readAllStandardOutput());
    result.err = QString::fromUtf8(dcsim.readAllStandardError());
    if (dcsim.exitStatus() == QProcess::NormalExit) {
        result.exitCode = dcsim.exitCode();
    }
    return result;
}
