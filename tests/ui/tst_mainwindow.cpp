#include "browser/ClientHandler.h"
#include "browser/MessageEvent.h"
#include "browser/ZelkWebView.h"
#include "ui/zelk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>


#include "ClientAppDir.h"
#include "DevToolsClient.h"
#include "TestEnvironment.h"

namespace {

const QString kMaximise = QStringLiteral(R"({"funcname":"maxsizeWindow"})");
const QString kRestore = QStringLiteral(R"({"funcname":"restoreWindow"})");
const QString kMinimise = QStringLiteral(R"({"funcname":"minisizeWindow"})");
const QString kGetConf = QStringLiteral(R"({"funcname":"getConf"})");
const QString kNoSettings = QStringLiteral("cant find conf.xml");

// The settings of the program started by the process-level case.
const char kConfXml[] = R"(<?xml version="1.0"?>
<root>
	<client autoStart="false" showConf="" testTool="" closeFunc="closeapp" language="en" clientSize="1024,700" version="2.5.1" />
</root>
)";

QString jsString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("<missing>");
    }
    return QString::fromUtf8(file.readAll());
}

QString describe(const QJsonObject& record) {
    return QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
}

// Stands in for another web view (the popup's) as the client's listener.
class RecordingListener : public ClientHandler::Listener {
public:
    void NotifyBrowserCreated(ZelkPage*) override {}
    void PostMessageEvent(MessageEvent* event) override {
        requests.append(event->name());
        delete event;
    }
    QStringList requests;
};

// Notes what a file holds at the moment its window becomes minimised.
class MinimiseWitness : public QObject {
public:
    MinimiseWitness(QWidget* window, const QString& path) : m_window(window), m_path(path) {
        window->installEventFilter(this);
    }
    ~MinimiseWitness() override { m_window->removeEventFilter(this); }

    bool sawMinimise = false;
    QString fileAtMinimise;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::WindowStateChange &&
            m_window->isMinimized() && !sawMinimise) {
            sawMinimise = true;
            fileAtMinimise = readFile(m_path);
        }
        return false;
    }

private:
    QWidget* m_window;
    QString m_path;
};

// Ends a started program that is still running when a case fails half-way.
struct ProcessReaper {
    QProcess& process;
    ~ProcessReaper() {
        if (process.state() == QProcess::NotRunning) {
            return;
        }
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void initialSize_data();
    void initialSize();
    void windowWithoutClientSizeIs800x600AndCannotShrink();

    void restoreBeforeAnyMaximisePutsWindowAtOriginAtMinimumSize();
    void maximiseThenRestoreReturnsTheWindowAndNeverAnswers();
    void requestsThatAreNeverAnswered_data();
    void requestsThatAreNeverAnswered();
    void failureReachesThePageWithCodeZeroAndTheMessage();

    void closeHidesTheWindowAndTheProcessGoesOn();
    void activationMakesTheWindowTheListenerAgain();

    void flushStopsAtAnUnwritablePathAndRetriesAll_data();
    void flushStopsAtAnUnwritablePathAndRetriesAll();
    void flushWithNothingDirtyWritesNothing_data();
    void flushWithNothingDirtyWritesNothing();
    void minimiseRequestWritesProfilesBeforeMinimising_data();
    void minimiseRequestWritesProfilesBeforeMinimising();

    void programAnswersGetConfWithItsSettings();

private:
    // Sends a query from the page; its index in the page's window.queries, or -1.
    int send(const QString& request);
    QJsonObject record(int index);
    bool waitAnswered(int index);
    // getConf answers at once (a failure: this process has no settings). Queries are handled in
    // the order sent and these handlers answer before returning, so once this answer is in, an
    // answer to any earlier query would have come in too.
    bool sendProbeAndWaitForItsAnswer();

    std::unique_ptr<ClientHandler> m_client;
    std::unique_ptr<zelk> m_window;
    QSize m_sizeAtCreation;
    DevToolsClient m_page;
    RecordingListener m_otherListener;
};

void MainWindowTest::initTestCase() {
    QVERIFY2(TestEnvironment::devtoolsPort() > 0, "no DevTools port was chosen");
    const QString page =
        QCoreApplication::applicationDirPath() + QStringLiteral("/view/index.html");
    QVERIFY2(QFileInfo::exists(page), qPrintable(page));

    m_client = std::make_unique<ClientHandler>(QStringList());
    globalClientHandler = m_client.get();
    m_window = std::make_unique<zelk>();
    m_sizeAtCreation = m_window->size();
    // As the application object does once it has made its main window.
    m_client->setMainWindowHandle(m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QCOMPARE(zelk::pageUrl().toString(QUrl::FullyEncoded), fileUrl(page));
    QVERIFY2(m_page.connectToPage(TestEnvironment::devtoolsPort(),
                                  [&](const QString& url) { return url == fileUrl(page); }),
             qPrintable(m_page.lastError()));
    QVERIFY2(m_page.waitFor("window.fixtureReady === true && typeof window.cefQuery === 'function'",
                            15000),
             qPrintable(m_page.lastError()));
}

void MainWindowTest::cleanupTestCase() {
    m_page.disconnectFromPage();
    m_window.reset();
    m_client.reset();
}

void MainWindowTest::init() {
    if (m_window->isMinimized()) {
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    }
    if (!m_window->isVisible()) {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    m_client->setListener(m_window->webView());
    m_client->setMainWindowHandle(m_window.get());
}

int MainWindowTest::send(const QString& request) {
    const QJsonValue index = m_page.evaluate(QStringLiteral("ask(%1)").arg(jsString(request)));
    return index.isDouble() ? index.toInt() : -1;
}

QJsonObject MainWindowTest::record(int index) {
    return m_page.evaluate(QStringLiteral("window.queries[%1]").arg(index)).toObject();
}

bool MainWindowTest::waitAnswered(int index) {
    return m_page.waitFor(QStringLiteral("window.queries[%1].state !== 'pending'").arg(index));
}

bool MainWindowTest::sendProbeAndWaitForItsAnswer() {
    const int probe = send(kGetConf);
    if (probe < 0 || !waitAnswered(probe)) {
        qWarning("probe query not answered: %s", qPrintable(m_page.lastError()));
        return false;
    }
    const QJsonObject answer = record(probe);
    if (answer.value("state") != "failure" || answer.value("text") != kNoSettings) {
        qWarning("unexpected probe answer %s", qPrintable(describe(answer)));
        return false;
    }
    return true;
}

void MainWindowTest::initialSize_data() {
    QTest::addColumn<QString>("clientSize");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("width,height") << "1024,768" << QSize(1024, 768);
    QTest::newRow("no value") << "" << QSize(800, 600);
    QTest::newRow("one part") << "1024" << QSize(800, 600);
    QTest::newRow("other separator") << "1024;768" << QSize(800, 600);
    QTest::newRow("not numbers") << "a,b" << QSize(0, 0);
    QTest::newRow("third part ignored") << "1200,760,5" << QSize(1200, 760);
    QTest::newRow("empty height") << "1024," << QSize(1024, 0);
    QTest::newRow("read as decimal") << "0x400,0768" << QSize(0, 768);
}

void MainWindowTest::initialSize() {
    QFETCH(QString, clientSize);
    QFETCH(QSize, expected);
    QCOMPARE(zelk::initialSize(clientSize), expected);
}

void MainWindowTest::windowWithoutClientSizeIs800x600AndCannotShrink() {
    QCOMPARE(m_sizeAtCreation, QSize(800, 600));
    QCOMPARE(m_window->minimumSize(), QSize(800, 600));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Korvanite Gaming Keyboard 1.0"));
    QVERIFY(m_window->windowFlags().testFlag(Qt::FramelessWindowHint));

    const QSize before = m_window->size();
    m_window->resize(400, 300);
    QCOMPARE(m_window->size(), QSize(800, 600));
    // The web view covers the whole window.
    QTRY_COMPARE(m_window->webView()->size(), QSize(800, 600));
    m_window->resize(before);
}

void MainWindowTest::restoreBeforeAnyMaximisePutsWindowAtOriginAtMinimumSize() {
    QVERIFY2(m_window->normalGeometry().isNull(), "this case must run before any maximise");
    const QRect placed(120, 90, 900, 700);
    m_window->setGeometry(placed);
    QTRY_COMPARE(m_window->geometry(), placed);

    const int restore = send(kRestore);
    QVERIFY(restore >= 0);
    QTRY_COMPARE(m_window->geometry(), QRect(QPoint(0, 0), QSize(800, 600)));
    QVERIFY(sendProbeAndWaitForItsAnswer());
    const QJsonObject answer = record(restore);
    QCOMPARE(answer.value("state"), QJsonValue("pending"));
    QCOMPARE(answer.value("calls"), QJsonValue(0));
}

void MainWindowTest::maximiseThenRestoreReturnsTheWindowAndNeverAnswers() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect available = screen->availableGeometry();
    const QRect before(40, 30, 860, 640);
    m_window->setGeometry(before);
    QTRY_COMPARE(m_window->geometry(), before);

    const int maximise = send(kMaximise);
    QVERIFY(maximise >= 0);
    QTRY_COMPARE(m_window->geometry(), available);
    QCOMPARE(m_window->normalGeometry(), before);
    // The page follows the window.
    QVERIFY2(m_page.waitFor(QStringLiteral("window.innerWidth === %1 && window.innerHeight === %2")
                                .arg(available.width())
                                .arg(available.height())),
             qPrintable(m_page.lastError()));

    const int restore = send(kRestore);
    QVERIFY(restore >= 0);
    QTRY_COMPARE(m_window->geometry(), before);
    QVERIFY2(m_page.waitFor(QStringLiteral("window.innerWidth === %1 && window.innerHeight === %2")
                                .arg(before.width())
                                .arg(before.height())),
             qPrintable(m_page.lastError()));

    QVERIFY(sendProbeAndWaitForItsAnswer());
    for (const int index : {maximise, restore}) {
        const QJsonObject answer = record(index);
        QVERIFY2(answer.value("state") == "pending" && answer.value("calls") == 0,
                 qPrintable(describe(answer)));
    }
}

void MainWindowTest::requestsThatAreNeverAnswered_data() {
    QTest::addColumn<QString>("request");

    QTest::newRow("maximise with a blank after the colon") << R"({"funcname": "maxsizeWindow"})";
    QTest::newRow("restore with another member") << R"({"funcname":"restoreWindow","x":1})";
    QTest::newRow("minimise with a blank after the colon") << R"({"funcname": "minisizeWindow"})";
    QTest::newRow("malformed JSON") << R"({"funcname":"getConf")";
    QTest::newRow("JSON array") << R"([{"funcname":"getConf"}])";
    QTest::newRow("JSON string") << R"("getConf")";
    QTest::newRow("empty request") << "";
    QTest::newRow("capital G") << R"({"funcname":"GetConf"})";
    QTest::newRow("lower case") << R"({"funcname":"getconf"})";
    QTest::newRow("no funcname") << R"({"name":"getConf"})";
    QTest::newRow("unknown command") << R"({"funcname":"noSuchCommand"})";
}

void MainWindowTest::requestsThatAreNeverAnswered() {
    QFETCH(QString, request);

    // A place the window requests above would all have left.
    const QRect saved = m_window->normalGeometry();
    const QRect placed(saved.topLeft() + QPoint(37, 23), QSize(811, 607));
    m_window->setGeometry(placed);
    QTRY_COMPARE(m_window->geometry(), placed);

    const int index = send(request);
    QVERIFY2(index >= 0, qPrintable(m_page.lastError()));
    QVERIFY(sendProbeAndWaitForItsAnswer());

    const QJsonObject answer = record(index);
    QCOMPARE(answer.value("request"), QJsonValue(request));
    QVERIFY2(answer.value("state") == "pending" && answer.value("calls") == 0,
             qPrintable(describe(answer)));
    QCOMPARE(m_window->geometry(), placed);
    QCOMPARE(m_window->normalGeometry(), saved);
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

void MainWindowTest::failureReachesThePageWithCodeZeroAndTheMessage() {
    const int index = send(kGetConf);
    QVERIFY(index >= 0);
    QVERIFY2(waitAnswered(index), qPrintable(m_page.lastError()));
    QJsonObject answer = record(index);
    QCOMPARE(answer.value("state"), QJsonValue("failure"));
    QCOMPARE(answer.value("code"), QJsonValue(0));
    QCOMPARE(answer.value("text"), QJsonValue(kNoSettings));

    // Answered once only.
    QVERIFY(sendProbeAndWaitForItsAnswer());
    answer = record(index);
    QCOMPARE(answer.value("calls"), QJsonValue(1));
}

void MainWindowTest::closeHidesTheWindowAndTheProcessGoesOn() {
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    int visibleWindows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        visibleWindows += widget->isVisible() ? 1 : 0;
    }
    QCOMPARE(visibleWindows, 1);  // else closing it would not be the last window closing

    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    const int browsers = ClientHandler::browserCount();
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isHidden());
    QCOMPARE(lastClosed.count(), 0);

    // The page lives on behind the hidden window and is still served.
    QVERIFY(sendProbeAndWaitForItsAnswer());
    QCOMPARE(lastClosed.count(), 0);
    QCOMPARE(ClientHandler::browserCount(), browsers);
    QVERIFY(m_window->webView()->browser());

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(sendProbeAndWaitForItsAnswer());
}

void MainWindowTest::activationMakesTheWindowTheListenerAgain() {
    QWidget elsewhere;
    elsewhere.setWindowTitle(QStringLiteral("another window"));
    elsewhere.setGeometry(900, 700, 200, 100);
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    QVERIFY(!m_window->isActiveWindow());

    m_otherListener.requests.clear();
    m_client->setListener(&m_otherListener);
    m_client->setMainWindowHandle(&elsewhere);

    // While the other listener has them, page requests go there.
    const int routedAway = send(kGetConf);
    QVERIFY(routedAway >= 0);
    QTRY_COMPARE(m_otherListener.requests, QStringList{kGetConf});

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(m_client->listener(), static_cast<ClientHandler::Listener*>(m_window->webView()));
    QCOMPARE(m_client->mainWindowHandle(), m_window.get());

    QVERIFY(sendProbeAndWaitForItsAnswer());
    QCOMPARE(m_otherListener.requests.size(), 1);
    QCOMPARE(record(routedAway).value("state"), QJsonValue("pending"));
}

void MainWindowTest::flushStopsAtAnUnwritablePathAndRetriesAll_data() {
    QTest::addColumn<bool>("folderInTheWay");

    QTest::newRow("second path in a missing folder") << false;
    QTest::newRow("second path is a folder") << true;
}

void MainWindowTest::flushStopsAtAnUnwritablePathAndRetriesAll() {
    QFETCH(bool, folderInTheWay);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath(QStringLiteral("first.xml"));
    const QString second = folderInTheWay ? dir.filePath(QStringLiteral("second.xml"))
                                          : dir.filePath(QStringLiteral("missing/second.xml"));
    const QString third = dir.filePath(QStringLiteral("third.xml"));
    if (folderInTheWay) {
        QVERIFY(QDir().mkdir(second));
    }

    ProfileCache& cache = m_window->profileCache();
    cache = ProfileCache();
    cache.store(first, QStringLiteral("<first/>"));
    cache.store(second, QStringLiteral("<second/>"));
    cache.store(third, QStringLiteral("<third/>"));
    const QStringList all{first, second, third};

    m_window->flushProfiles();
    QCOMPARE(readFile(first), QStringLiteral("<first/>"));
    QVERIFY(!QFileInfo(second).isFile());
    QVERIFY(!QFileInfo::exists(third));
    QCOMPARE(cache.dirtyPaths(), all);

    // Nothing changed: the next flush meets the same obstacle.
    m_window->flushProfiles();
    QVERIFY(!QFileInfo::exists(third));
    QCOMPARE(cache.dirtyPaths(), all);

    if (folderInTheWay) {
        QVERIFY(QDir().rmdir(second));
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(second).absolutePath()));
    }
    cache.store(first, QStringLiteral("<first changed=\"1\"/>"));
    m_window->flushProfiles();
    QCOMPARE(readFile(first), QStringLiteral("<first changed=\"1\"/>"));
    QCOMPARE(readFile(second), QStringLiteral("<second/>"));
    QCOMPARE(readFile(third), QStringLiteral("<third/>"));
    QVERIFY(cache.dirtyPaths().isEmpty());
    QCOMPARE(cache.texts().size(), 3);
}

void MainWindowTest::flushWithNothingDirtyWritesNothing_data() {
    QTest::addColumn<bool>("rememberOne");

    QTest::newRow("empty cache") << false;
    QTest::newRow("text as read from disk") << true;
}

void MainWindowTest::flushWithNothingDirtyWritesNothing() {
    QFETCH(bool, rememberOne);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ProfileCache& cache = m_window->profileCache();
    cache = ProfileCache();
    if (rememberOne) {
        cache.remember(dir.filePath(QStringLiteral("read.xml")), QStringLiteral("<read/>"));
    }
    m_window->flushProfiles();
    QVERIFY(cache.dirtyPaths().isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void MainWindowTest::minimiseRequestWritesProfilesBeforeMinimising_data() {
    QTest::addColumn<bool>("writable");

    QTest::newRow("profile written") << true;
    // The write fails silently: the window is minimised and the page answered all the same.
    QTest::newRow("profile cannot be written") << false;
}

void MainWindowTest::minimiseRequestWritesProfilesBeforeMinimising() {
    QFETCH(bool, writable);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writable ? dir.filePath(QStringLiteral("keyboard.xml"))
                                  : dir.filePath(QStringLiteral("missing/keyboard.xml"));
    const QString text = QStringLiteral("<profile name=\"written first\"/>");
    ProfileCache& cache = m_window->profileCache();
    cache = ProfileCache();
    cache.store(path, text);

    {
        MinimiseWitness witness(m_window.get(), path);
        const int minimise = send(kMinimise);
        QVERIFY(minimise >= 0);
        QVERIFY2(waitAnswered(minimise), qPrintable(m_page.lastError()));
        const QJsonObject answer = record(minimise);
        QCOMPARE(answer.value("state"), QJsonValue("success"));
        QCOMPARE(answer.value("text"), QJsonValue(""));
        QVERIFY(m_window->isMinimized());
        QVERIFY(witness.sawMinimise);
        QCOMPARE(witness.fileAtMinimise, writable ? text : QStringLiteral("<missing>"));
        QCOMPARE(cache.dirtyPaths(), writable ? QStringList() : QStringList{path});
    }

    // Sent again, the request brings the window back.
    const int again = send(kMinimise);
    QVERIFY(again >= 0);
    QVERIFY2(waitAnswered(again), qPrintable(m_page.lastError()));
    QCOMPARE(record(again).value("state"), QJsonValue("success"));
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

void MainWindowTest::programAnswersGetConfWithItsSettings() {
    // A private copy of the application directory: the program, this test's page and settings.
    ClientAppDir::Options options;
    options.pageDirectory = QCoreApplication::applicationDirPath() + QStringLiteral("/view");
    options.confXml = QByteArray(kConfXml);
    options.withDeviceLibrary = false;
    ClientAppDir dir(QStringLiteral(ZELK_APP_EXECUTABLE), QStringLiteral(DC_LIBRARY_PATH),
                     QStringLiteral(DCSIM_PATH), options);
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString program = dir.executable();
    const QString page = dir.pagePath();
    const int port = dir.devtoolsPort();
    const QProcessEnvironment environment = dir.environment();

    QProcess app;
    ProcessReaper reaper{app};
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(program, {});
    QVERIFY2(app.waitForStarted(), qPrintable(app.errorString()));

    DevToolsClient appPage;
    QVERIFY2(appPage.connectToPage(
                 port, [&](const QString& url) { return url == fileUrl(page); }, 60000),
             qPrintable(appPage.lastError() + "\n" + QString::fromLocal8Bit(app.readAll())));
    QVERIFY2(appPage.waitFor(
                 "window.fixtureReady === true && typeof window.cefQuery === 'function'", 15000),
             qPrintable(appPage.lastError()));

    const QJsonValue index = appPage.evaluate(QStringLiteral("ask(%1)").arg(jsString(kGetConf)));
    QVERIFY2(index.isDouble(), qPrintable(appPage.lastError()));
    QVERIFY(appPage.waitFor(
        QStringLiteral("window.queries[%1].state !== 'pending'").arg(index.toInt())));
    const QJsonObject answer =
        appPage.evaluate(QStringLiteral("window.queries[%1]").arg(index.toInt())).toObject();
    QVERIFY2(answer.value("state") == "success", qPrintable(describe(answer)));

    const QString text = answer.value("text").toString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QVERIFY(document.isArray());
    QCOMPARE(document.array().size(), 1);
    // Compact, keys in order.
    QCOMPARE(text, QString::fromUtf8(document.toJson(QJsonDocument::Compact)));

    const QJsonObject settings = document.array().first().toObject();
    QStringList keys = settings.keys();
    keys.sort();
    QCOMPARE(keys, QStringList({"IpAddress", "MacAddress", "autoStart", "clientSize", "closeFunc",
                                "language", "showConf", "testTool", "version"}));
    QCOMPARE(settings.value("autoStart"), QJsonValue("false"));
    QCOMPARE(settings.value("clientSize"), QJsonValue("1024,700"));
    QCOMPARE(settings.value("closeFunc"), QJsonValue("closeapp"));
    QCOMPARE(settings.value("language"), QJsonValue("en"));
    QCOMPARE(settings.value("version"), QJsonValue("2.5.1"));
    QVERIFY(settings.value("MacAddress").isString());
    QVERIFY(settings.value("IpAddress").isString());
    // No hot key is registered: the value is followed by "," and the flag character 0.
    QCOMPARE(settings.value("showConf").toString(), QStringLiteral(",") + QChar(0));
    QCOMPARE(settings.value("testTool").toString(), QStringLiteral(",") + QChar(0));

    // The window has the size of "clientSize" and cannot be made smaller.
    QVERIFY2(appPage.waitFor("window.innerWidth === 1024 && window.innerHeight === 700"),
             qPrintable(appPage.lastError()));
    appPage.evaluate(QStringLiteral("ask('moveWindow 0,0,1100,760')"));
    QVERIFY2(appPage.waitFor("window.innerWidth === 1100 && window.innerHeight === 760"),
             qPrintable(appPage.lastError()));
    appPage.evaluate(QStringLiteral("ask('moveWindow 0,0,500,400')"));
    QVERIFY2(appPage.waitFor("window.innerWidth === 1024 && window.innerHeight === 700"),
             qPrintable(appPage.lastError()));

    // closeFunc "closeapp": closeApp ends the program.
    appPage.evaluate(QStringLiteral("ask(%1)").arg(jsString(R"({"funcname":"closeApp"})")));
    QVERIFY2(app.waitForFinished(30000), "the program did not end on closeApp");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

ZELK_GUI_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
