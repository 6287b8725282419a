// Runs the real client executable as child processes on the test's own X display and checks
// how starts of it find, hand over to, or become the one running instance.

#include "FifoStartGate.h"
#include "InstanceChannelClient.h"
#include "X11WindowProbe.h"
#include "ZelkProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kServerName = QStringLiteral("Global\\{71CBE35F-A129-4792-AEE6-92AB6864A918}");
const QString kMainWindowTitle = QStringLiteral("Korvanite Gaming Keyboard 1.0");
// A first start needs one to three seconds until its page is up; the margin is for busy hosts.
constexpr int kInstanceReadyMs = 30000;
constexpr int kSecondStartQuitsMs = 15000;
constexpr int kReplyMs = 5000;
// A start reaches its log file a fraction of a second after it was launched.
constexpr int kReachLogMs = 10000;
// sun_path of a Unix socket address holds 107 characters and the terminating zero.
constexpr int kMaxSocketPathLength = 107;

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
public:
    explicit SingleInstanceTest(const QString& rootPath) : m_rootPath(rootPath) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartBecomesTheRunningInstance();
    void socketIsPrivateToItsOwner();
    void secondStartHandsOverAndQuitsWithoutAWindow();
    void secondStartShowsAClosedWindowAgain();
    void autostartStaysHiddenUntilAnotherStart();
    void rawProtocol_data();
    void rawProtocol();
    void simultaneousStartsLeaveOneInstance_data();
    void simultaneousStartsLeaveOneInstance();
    void staleSocketAfterACrashIsTakenOver();
    void anotherUserGetsAnInstanceOfTheirOwn();

private:
    ZelkProcess* newChild();
    ZelkProcess* newChild(const QProcessEnvironment& environment, const QString& workingDirectory);
    QProcessEnvironment childEnvironment() const;
    QString caseTempPath() const { return m_case->path() + QStringLiteral("/tmp"); }
    QString socketPath() const {
        return m_case->path() + QStringLiteral("/runtime/") + kServerName;
    }
    QString startLockPath() const {
        return m_case->path() + QStringLiteral("/runtime/zelk-instance.lock");
    }

    // The pid in the answer to "CMD:ping;" on a new connection; 0 when nobody answered with
    // exactly "RES:<pid>;".
    quint64 pingPid(int timeoutMs = kReplyMs);
    // Waits until process answers on the instance socket; false (and why) if it ends first or
    // never answers.
    bool waitUntilRunningInstance(ZelkProcess* process, QString* why);
    // A new child started with arguments, once it answers as the running instance; null (and
    // why) when it does not.
    ZelkProcess* startRunningInstance(const QStringList& arguments, QString* why);
    // False as well when the process ends first.
    bool waitUntilMainWindowVisible(ZelkProcess* process);
    // A start that finds a running instance hands over and quits at once.
    bool waitUntilEnded(ZelkProcess* process, int timeoutMs = kSecondStartQuitsMs);
    // The windows mapped since recording started that do not belong to allowedPid.
    QList<TopLevelWindow> windowsMappedByOthersThan(qint64 allowedPid);
    void reportChildren();

    const QString m_rootPath;
    std::unique_ptr<QTemporaryDir> m_case;
    std::vector<std::unique_ptr<ZelkProcess>> m_children;
    std::unique_ptr<X11WindowProbe> m_windows;
    std::unique_ptr<FifoStartGate> m_gate;
};

// ---------------------------------------------------------------------------------------------
// Fixture

void SingleInstanceTest::initTestCase() {
    QVERIFY2(QFile::exists(QStringLiteral(ZELK_EXECUTABLE)), ZELK_EXECUTABLE);
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "runs under xvfb-run");
    m_windows = std::make_unique<X11WindowProbe>();
    QVERIFY2(m_windows->isOpen(), "cannot open the X display");
}

void SingleInstanceTest::init() {
    // Each case gets its own user folders: the instance socket and lock live in the temporary
    // folder, the engine's storage in its "Cache".
    m_case = std::make_unique<QTemporaryDir>(m_rootPath + QStringLiteral("/c-XXXXXX"));
    QVERIFY2(m_case->isValid(), qPrintable(m_case->errorString()));
    for (const char* folder :
         {"home", "home/.config", "home/.local/share", "home/.cache", "runtime", "tmp"}) {
        const QString path = m_case->path() + QLatin1Char('/') + QLatin1String(folder);
        QVERIFY2(QDir().mkpath(path), qPrintable(path));
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QVERIFY2(socketPath().toLocal8Bit().size() <= kMaxSocketPathLength,
             qPrintable(QStringLiteral("socket path too long: ") + socketPath()));
}

void SingleInstanceTest::cleanup() {
    m_windows->stopRecordingMaps();
    for (const auto& child : m_children) {
        child->stop();
    }
    if (QTest::currentTestFailed()) {
        reportChildren();
    }
    m_children.clear();
    m_gate.reset();
    m_case.reset();
    ::chmod(QFile::encodeName(m_rootPath).constData(), 0700);
}

void SingleInstanceTest::reportChildren() {
    for (const auto& child : m_children) {
        qWarning().noquote() << "child" << child->exitDescription() << "output:\n"
                             << child->output();
    }
    if (m_gate) {
        qWarning().noquote() << "web.log:\n" << QString::fromUtf8(m_gate->written());
        return;
    }
    QFile log(caseTempPath() + QStringLiteral("/web.log"));
    if (QFileInfo(log).isFile() && log.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "web.log:\n" << QString::fromUtf8(log.readAll());
    }
}

QProcessEnvironment SingleInstanceTest::childEnvironment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString root = m_case->path() + QLatin1Char('/');
    environment.insert(QStringLiteral("HOME"), root + QStringLiteral("home"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("home/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("home/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("home/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("runtime"));
    environment.insert(QStringLiteral("TMPDIR"), caseTempPath());
    if (::geteuid() == 0) {
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    }
    environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                       QStringLiteral("--disable-gpu"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Children of one case would otherwise compete for one DevTools port.
    environment.remove(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"));
    return environment;
}

ZelkProcess* SingleInstanceTest::newChild() {
    return newChild(childEnvironment(), m_case->path());
}

ZelkProcess* SingleInstanceTest::newChild(const QProcessEnvironment& environment,
                                          const QString& workingDirectory) {
    m_children.push_back(std::make_unique<ZelkProcess>(QStringLiteral(ZELK_EXECUTABLE), environment,
                                                       workingDirectory));
    return m_children.back().get();
}

quint64 SingleInstanceTest::pingPid(int timeoutMs) {
    InstanceChannelClient client;
    if (!client.connectTo(socketPath(), timeoutMs) || !client.send("CMD:ping;") ||
        !client.waitForReplies(1, timeoutMs)) {
        return 0;
    }
    static const QRegularExpression reply(QStringLiteral("^RES:(\\d+);$"));
    const QRegularExpressionMatch match = reply.match(QString::fromLatin1(client.received()));
    return match.hasMatch() ? match.captured(1).toULongLong() : 0;
}

ZelkProcess* SingleInstanceTest::startRunningInstance(const QStringList& arguments, QString* why) {
    ZelkProcess* process = newChild();
    if (!process->start(arguments)) {
        *why = QStringLiteral("cannot start: ") + process->exitDescription();
        return nullptr;
    }
    return waitUntilRunningInstance(process, why) ? process : nullptr;
}

bool SingleInstanceTest::waitUntilRunningInstance(ZelkProcess* process, QString* why) {
    quint64 answeredPid = 0;
    // Either outcome ends the wait; which one it was is read below.
    (void)QTest::qWaitFor(
        [&] {
            if (!process->isRunning()) {
                return true;
            }
            answeredPid = pingPid(1000);
            return answeredPid == quint64(process->pid());
        },
        kInstanceReadyMs);
    if (answeredPid == quint64(process->pid()) && process->isRunning()) {
        return true;
    }
    *why = process->isRunning()
               ? QStringLiteral("pid %1 running, but the socket answered with pid %2")
                     .arg(process->pid())
                     .arg(answeredPid)
               : QStringLiteral("ended before it answered: %1").arg(process->exitDescription());
    return false;
}

bool SingleInstanceTest::waitUntilMainWindowVisible(ZelkProcess* process) {
    const auto visible = [&] {
        const QList<TopLevelWindow> windows = m_windows->visibleWindowsOf(process->pid());
        return std::any_of(windows.begin(), windows.end(), [](const TopLevelWindow& window) {
            return window.title == kMainWindowTitle;
        });
    };
    (void)QTest::qWaitFor([&] { return !process->isRunning() || visible(); }, kInstanceReadyMs);
    return process->isRunning() && visible();
}

bool SingleInstanceTest::waitUntilEnded(ZelkProcess* process, int timeoutMs) {
    return QTest::qWaitFor([&] { return !process->isRunning(); }, timeoutMs);
}

QList<TopLevelWindow> SingleInstanceTest::windowsMappedByOthersThan(qint64 allowedPid) {
    QList<TopLevelWindow> others;
    for (const TopLevelWindow& window : m_windows->mappedWindows()) {
        // pid -1: gone before it could be asked, so not the running instance's main window.
        if (window.pid != allowedPid) {
            others.append(window);
        }
    }
    return others;
}

// ---------------------------------------------------------------------------------------------
// Cases

void SingleInstanceTest::firstStartBecomesTheRunningInstance() {
    ZelkProcess* first = newChild();
    QVERIFY(first->start());

    QVERIFY(QTest::qWaitFor([&] { return QFile::exists(socketPath()) || !first->isRunning(); },
                            kInstanceReadyMs));
    QVERIFY2(first->isRunning(), qPrintable(first->exitDescription()));

    InstanceChannelClient client;
    QVERIFY2(client.connectTo(socketPath(), kReplyMs), qPrintable(client.errorString()));
    QVERIFY(client.send("CMD:ping;"));
    QVERIFY(client.waitForReplies(1, kReplyMs));
    QCOMPARE(client.received(), QStringLiteral("RES:%1;").arg(first->pid()).toUtf8());

    QVERIFY2(waitUntilMainWindowVisible(first),
             qPrintable(describeWindows(m_windows->visibleWindowsOf(first->pid()))));
    // The role is decided: the start-up lock is given back, or later starts would wait for it.
    QVERIFY(!QFile::exists(startLockPath()));
}

void SingleInstanceTest::socketIsPrivateToItsOwner() {
    QString why;
    ZelkProcess* first = startRunningInstance({}, &why);
    QVERIFY2(first, qPrintable(why));

    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(socketPath()).constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(info.st_mode & (S_IRUSR | S_IWUSR), mode_t(S_IRUSR | S_IWUSR));
    QCOMPARE(info.st_mode & (S_IRWXG | S_IRWXO), mode_t(0));
}

void SingleInstanceTest::secondStartHandsOverAndQuitsWithoutAWindow() {
    QString why;
    ZelkProcess* first = startRunningInstance({}, &why);
    QVERIFY2(first, qPrintable(why));
    QVERIFY(waitUntilMainWindowVisible(first));

    m_windows->startRecordingMaps();
    ZelkProcess* second = newChild();
    QVERIFY(second->start());
    QVERIFY2(waitUntilEnded(second), qPrintable(second->exitDescription()));
    QVERIFY2(second->exitedNormallyWithZero(), qPrintable(second->exitDescription()));
    const QList<TopLevelWindow> foreign = windowsMappedByOthersThan(first->pid());
    QVERIFY2(foreign.isEmpty(), qPrintable(describeWindows(foreign)));

    QVERIFY2(first->isRunning(), qPrintable(first->exitDescription()));
    QCOMPARE(pingPid(), quint64(first->pid()));
    QVERIFY(waitUntilMainWindowVisible(first));
}

void SingleInstanceTest::secondStartShowsAClosedWindowAgain() {
    QString why;
    ZelkProcess* first = startRunningInstance({}, &why);
    QVERIFY2(first, qPrintable(why));
    QVERIFY(waitUntilMainWindowVisible(first));

    // Closing only hides the main window; the program keeps running.
    const QList<TopLevelWindow> windows = m_windows->visibleWindowsOf(first->pid());
    QCOMPARE(windows.size(), 1);
    QVERIFY(m_windows->requestClose(windows.first().id));
    QVERIFY(QTest::qWaitFor([&] { return m_windows->visibleWindowsOf(first->pid()).isEmpty(); },
                            kReplyMs));
    QVERIFY(first->isRunning());

    ZelkProcess* second = newChild();
    QVERIFY(second->start());
    QVERIFY2(waitUntilEnded(second), qPrintable(second->exitDescription()));
    QVERIFY2(second->exitedNormallyWithZero(), qPrintable(second->exitDescription()));
    QVERIFY2(waitUntilMainWindowVisible(first),
             qPrintable(describeWindows(m_windows->visibleWindowsOf(first->pid()))));
}

void SingleInstanceTest::autostartStaysHiddenUntilAnotherStart() {
    m_windows->startRecordingMaps();
    QString why;
    ZelkProcess* first = startRunningInstance({QStringLiteral("-autostart")}, &why);
    QVERIFY2(first, qPrintable(why));
    // Answering means the start-up, window creation included, is over.
    QVERIFY2(m_windows->visibleWindowsOf(first->pid()).isEmpty(),
             qPrintable(describeWindows(m_windows->visibleWindowsOf(first->pid()))));
    const QList<TopLevelWindow> mapped = windowsMappedByOthersThan(0);
    QVERIFY2(mapped.isEmpty(), qPrintable(describeWindows(mapped)));
    m_windows->stopRecordingMaps();

    ZelkProcess* second = newChild();
    QVERIFY(second->start());
    QVERIFY2(waitUntilEnded(second), qPrintable(second->exitDescription()));
    QVERIFY2(second->exitedNormallyWithZero(), qPrintable(second->exitDescription()));
    QVERIFY2(waitUntilMainWindowVisible(first),
             qPrintable(describeWindows(m_windows->visibleWindowsOf(first->pid()))));
    QVERIFY(first->isRunning());
}

void SingleInstanceTest::rawProtocol_data() {
    // Each write is followed by the number of replies received in all once the instance has
    // read it.
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QList<int>>("repliesAfterWrite");

    QTest::newRow("two commands in one write")
        << QList<QByteArray>{"CMD:show;CMD:other;"} << QList<int>{2};
    QTest::newRow("command split over two writes")
        << QList<QByteArray>{"CMD:sh", "ow;"} << QList<int>{0, 1};
    QTest::newRow("command split inside its prefix")
        << QList<QByteArray>{"CM", "D:ping", ";"} << QList<int>{0, 0, 1};
    QTest::newRow("piece without prefix gets no reply")
        << QList<QByteArray>{"hello;", "CMD:ping;"} << QList<int>{0, 1};
    QTest::newRow("lower-case prefix gets no reply")
        << QList<QByteArray>{"cmd:ping;", "CMD:ping;"} << QList<int>{0, 1};
    QTest::newRow("empty pieces get no reply")
        << QList<QByteArray>{";;", "CMD:ping;"} << QList<int>{0, 1};
    QTest::newRow("ignored and answered pieces in one write")
        << QList<QByteArray>{"junk;CMD:show;;CMD:x;tail"} << QList<int>{2};
}

void SingleInstanceTest::rawProtocol() {
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QList<int>, repliesAfterWrite);

    ZelkProcess* instance = newChild();
    QVERIFY(instance->start());
    QString why;
    QVERIFY2(waitUntilRunningInstance(instance, &why), qPrintable(why));
    const QByteArray oneReply = QStringLiteral("RES:%1;").arg(instance->pid()).toUtf8();

    InstanceChannelClient client;
    QVERIFY2(client.connectTo(socketPath(), kReplyMs), qPrintable(client.errorString()));
    for (int i = 0; i < writes.size(); ++i) {
        QVERIFY(client.send(writes.at(i)));
        const int expected = repliesAfterWrite.at(i);
        if (expected > 0) {
            QVERIFY2(client.waitForReplies(expected, kReplyMs), client.received().constData());
        }
        // A round trip on a second connection: by its answer the instance has read this write,
        // so any reply it caused is on its way too.
        QCOMPARE(pingPid(), quint64(instance->pid()));
        client.collectPending();
        QCOMPARE(client.received(), oneReply.repeated(expected));
    }
}

void SingleInstanceTest::simultaneousStartsLeaveOneInstance_data() {
    QTest::addColumn<int>("starts");
    // Starts meet inside the moment of the decision only now and then; a failing round is
    // a real fault, a passing one proves little on its own.
    for (int round = 1; round <= 10; ++round) {
        QTest::addRow("two starts, round %d", round) << 2;
    }
    for (int round = 1; round <= 4; ++round) {
        QTest::addRow("four starts, round %d", round) << 4;
    }
}

void SingleInstanceTest::simultaneousStartsLeaveOneInstance() {
    QFETCH(int, starts);

    // The program opens its web.log before it looks for a running instance. As a FIFO, that
    // file holds every start until all have arrived, then lets them go at the same instant.
    m_gate = std::make_unique<FifoStartGate>(caseTempPath() + QStringLiteral("/web.log"));
    QVERIFY2(m_gate->isValid(), qPrintable(m_gate->errorString()));
    m_windows->startRecordingMaps();
    QList<ZelkProcess*> children;
    for (int i = 0; i < starts; ++i) {
        children.append(newChild());
        QVERIFY(children.last()->start());
    }
    const bool linedUp = QTest::qWaitFor(
        [&] {
            return std::all_of(children.begin(), children.end(), [](const ZelkProcess* child) {
                return FifoStartGate::isWaitingAtGate(child->pid());
            });
        },
        kReachLogMs);
    if (!linedUp) {
        qWarning("the starts never all waited at web.log; they run unaligned");
    }
    QVERIFY2(m_gate->open(), qPrintable(m_gate->errorString()));

    const auto runningCount = [&] {
        return std::count_if(children.begin(), children.end(),
                             [](const ZelkProcess* child) { return child->isRunning(); });
    };
    const auto describe = [&] {
        QStringList lines;
        for (const ZelkProcess* child : children) {
            lines.append(child->exitDescription());
        }
        return lines.join(QStringLiteral("; "));
    };

    // Settled: one start answers on the socket and every other start has quit. Starts that
    // all listen never quit.
    ZelkProcess* running = nullptr;
    const bool answered = QTest::qWaitFor(
        [&] {
            const quint64 pid = pingPid(1000);
            for (ZelkProcess* child : children) {
                if (pid != 0 && quint64(child->pid()) == pid) {
                    running = child;
                }
            }
            return running != nullptr || runningCount() == 0;
        },
        kInstanceReadyMs);
    QVERIFY2(answered && running, qPrintable(describe()));
    QVERIFY2(QTest::qWaitFor([&] { return runningCount() == 1; }, kSecondStartQuitsMs),
             qPrintable(describe()));
    QVERIFY2(running->isRunning(), qPrintable(describe()));
    for (ZelkProcess* child : children) {
        if (child != running) {
            QVERIFY2(child->exitedNormallyWithZero(), qPrintable(describe()));
        }
    }
    QVERIFY(waitUntilMainWindowVisible(running));
    const QList<TopLevelWindow> foreign = windowsMappedByOthersThan(running->pid());
    QVERIFY2(foreign.isEmpty(), qPrintable(describeWindows(foreign)));
}

void SingleInstanceTest::staleSocketAfterACrashIsTakenOver() {
    ZelkProcess* crashed = newChild();
    QVERIFY(crashed->start());
    QString why;
    QVERIFY2(waitUntilRunningInstance(crashed, &why), qPrintable(why));
    crashed->killHard();
    QVERIFY(!crashed->isRunning());
    QVERIFY2(QFile::exists(socketPath()), "a killed instance leaves its socket file behind");
    QCOMPARE(pingPid(), quint64(0));

    ZelkProcess* next = newChild();
    QVERIFY(next->start());
    QVERIFY2(waitUntilRunningInstance(next, &why), qPrintable(why));
    QVERIFY(waitUntilMainWindowVisible(next));
}

void SingleInstanceTest::anotherUserGetsAnInstanceOfTheirOwn() {
    // Users logged in at the same time share /tmp. A running instance of one user can neither
    // be reached nor be replaced by another user's start, so that start must run on its own.
    if (::geteuid() != 0) {
        QSKIP("starting a process as another user needs root");
    }
    const passwd* other = ::getpwnam("nobody");
    if (!other || other->pw_uid == 0) {
        QSKIP("no unprivileged user 'nobody'");
    }
    for (QFileInfo step(QStringLiteral(ZELK_EXECUTABLE)); !step.isRoot();
         step = QFileInfo(step.absolutePath())) {
        if (!(step.permissions() & QFile::ExeOther)) {
            QSKIP(qPrintable(step.filePath() + QStringLiteral(" is closed to other users")));
        }
    }

    // Both users need to reach the shared temporary folder and the second user its own folders,
    // so they live in a folder of the system's shared /tmp rather than below this test's private
    // temporary folder.
    QTemporaryDir users(QStringLiteral("/tmp/zelk-users-XXXXXX"));
    QVERIFY(users.isValid());
    QCOMPARE(::chmod(QFile::encodeName(users.path()).constData(), 0711), 0);
    const QString shared = users.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString theirRoot = users.filePath(QStringLiteral("other"));
    for (const char* folder : {"", "/home", "/runtime"}) {
        const QByteArray path = QFile::encodeName(theirRoot + QLatin1String(folder));
        QVERIFY(QDir().mkpath(QFile::decodeName(path)));
        QCOMPARE(::chown(path.constData(), other->pw_uid, other->pw_gid), 0);
        QCOMPARE(::chmod(path.constData(), 0700), 0);
    }
    // The X server admits whoever holds its cookie.
    const QString cookie = theirRoot + QStringLiteral("/xauthority");
    const QString ourCookie = qEnvironmentVariable("XAUTHORITY");
    if (!ourCookie.isEmpty()) {
        QVERIFY(QFile::copy(ourCookie, cookie));
        QCOMPARE(::chown(QFile::encodeName(cookie).constData(), other->pw_uid, other->pw_gid), 0);
    }

    QProcessEnvironment ours = childEnvironment();
    ours.insert(QStringLiteral("TMPDIR"), shared);
    ZelkProcess* first = newChild(ours, m_case->path());
    QVERIFY(first->start());
    QVERIFY2(waitUntilMainWindowVisible(first), qPrintable(first->exitDescription()));

    QProcessEnvironment theirs = childEnvironment();
    theirs.insert(QStringLiteral("HOME"), theirRoot + QStringLiteral("/home"));
    theirs.insert(QStringLiteral("XDG_CONFIG_HOME"), theirRoot + QStringLiteral("/home"));
    theirs.insert(QStringLiteral("XDG_DATA_HOME"), theirRoot + QStringLiteral("/home"));
    theirs.insert(QStringLiteral("XDG_CACHE_HOME"), theirRoot + QStringLiteral("/home"));
    theirs.insert(QStringLiteral("XDG_RUNTIME_DIR"), theirRoot + QStringLiteral("/runtime"));
    theirs.insert(QStringLiteral("TMPDIR"), shared);
    theirs.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    if (!ourCookie.isEmpty()) {
        theirs.insert(QStringLiteral("XAUTHORITY"), cookie);
    }
    ZelkProcess* second = newChild(theirs, theirRoot + QStringLiteral("/home"));
    second->runAsUser(other->pw_uid, other->pw_gid);
    QVERIFY(second->start());
    QVERIFY2(
        waitUntilMainWindowVisible(second),
        qPrintable(second->exitDescription() + QStringLiteral(", output:\n") + second->output()));
    QVERIFY2(first->isRunning(), qPrintable(first->exitDescription()));
    // Both end before their folders go.
    second->stop();
    first->stop();
}

// ---------------------------------------------------------------------------------------------

int main(int argc, char** argv) {
    // This program and every child it starts write only below one temporary folder.
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/zsi-XXXXXX"));
    if (!root.isValid()) {
        qCritical("cannot create a temporary folder: %s", qPrintable(root.errorString()));
        return 1;
    }
    for (const char* folder : {"home", "runtime", "tmp"}) {
        if (!QDir().mkpath(root.path() + QLatin1Char('/') + QLatin1String(folder))) {
            qCritical("cannot create %s below %s", folder, qPrintable(root.path()));
            return 1;
        }
    }
    qputenv("HOME", QFile::encodeName(root.path() + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/home/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/home/.local")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root.path() + QStringLiteral("/home/.cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.path() + QStringLiteral("/runtime")));
    qputenv("TMPDIR", QFile::encodeName(root.path() + QStringLiteral("/tmp")));
    QFile::setPermissions(root.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCoreApplication app(argc, argv);
    SingleInstanceTest test(root.path());
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
