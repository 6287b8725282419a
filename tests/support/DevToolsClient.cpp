#include "DevToolsClient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kTargetPollIntervalMs = 100;
constexpr int kConditionPollIntervalMs = 50;

// Runs the loop until something quits it or timeoutMs passes; true if it was quit in time.
bool runLoop(QEventLoop& loop, int timeoutMs) {
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(qMax(0, timeoutMs));
    loop.exec();
    return timer.isActive();
}

// Lets the browser run for a while without busy-waiting.
void pause(int ms) {
    QEventLoop loop;
    runLoop(loop, ms);
}

int remainingMs(const QDeadlineTimer& deadline) {
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

// "Uncaught Error: boom\n    at ..." for Error objects, "Uncaught plain-text" for thrown
// primitives.
QString describeException(const QJsonObject& details) {
    const QJsonObject exception = details.value("exception").toObject();
    QString what = exception.value("description").toString();
    if (what.isEmpty())
        what = exception.value("value").toVariant().toString();
    const QString text = details.value("text").toString();
    return what.isEmpty() ? text : text + ' ' + what;
}

}  // namespace

DevToolsClient::DevToolsClient(QObject* parent) : QObject(parent) {
    // The endpoint is on the loopback address; a proxy from the environment must not see it.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    connect(&m_socket, &QWebSocket::textMessageReceived, this, &DevToolsClient::onTextMessage);
}

DevToolsClient::~DevToolsClient() {
    m_socket.abort();
}

bool DevToolsClient::connectToPage(int port, const std::function<bool(const QString& url)>& matches,
                                   int timeoutMs) {
    m_lastError.clear();
    if (isConnected())
        disconnectFromPage();
    if (port <= 0) {
        fail(QStringLiteral(
            "no DevTools port (was TestEnvironment::prepareBeforeApplication run?)"));
        return false;
    }

    const QDeadlineTimer deadline(timeoutMs);
    QString lastProblem = QStringLiteral("no answer yet");
    bool listed = false;
    while (true) {
        QJsonArray targets;
        if (fetchTargets(port, remainingMs(deadline), &targets)) {
            listed = true;
            QStringList pagesSeen;
            for (const QJsonValue& value : targets) {
                const QJsonObject target = value.toObject();
                if (target.value("type").toString() != QLatin1String("page"))
                    continue;
                const QString url = target.value("url").toString();
                pagesSeen << url;
                if (!matches(url))
                    continue;
                const QString socketUrl = target.value("webSocketDebuggerUrl").toString();
                if (socketUrl.isEmpty()) {
                    lastProblem = QStringLiteral("page %1 has no webSocketDebuggerUrl").arg(url);
                    continue;
                }
                return openSocket(socketUrl, remainingMs(deadline));
            }
            lastProblem = QStringLiteral("pages seen: [%1]").arg(pagesSeen.join(", "));
        } else if (!listed || !deadline.hasExpired()) {
            // A request cut short by the deadline says less than the listing before it.
            lastProblem = m_lastError;
        }
        if (deadline.hasExpired())
            break;
        pause(qMin(kTargetPollIntervalMs, remainingMs(deadline)));
        if (deadline.hasExpired())
            break;
    }
    fail(QStringLiteral("no matching page on DevTools port %1 within %2 ms; %3")
             .arg(port)
             .arg(timeoutMs)
             .arg(lastProblem));
    return false;
}

bool DevToolsClient::fetchTargets(int port, int timeoutMs, QJsonArray* targets) {
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/json").arg(port));
    QNetworkRequest request(url);
    request.setTransferTimeout(qMax(1, timeoutMs));
    QNetworkReply* reply = m_network->get(request);

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished() && !runLoop(loop, timeoutMs))
        reply->abort();

    bool ok = false;
    if (reply->error() != QNetworkReply::NoError) {
        fail(QStringLiteral("GET %1: %2").arg(url.toString(), reply->errorString()));
    } else {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parseError);
        if (!document.isArray()) {
            fail(QStringLiteral("GET %1: not a JSON array (%2)")
                     .arg(url.toString(), parseError.errorString()));
        } else {
            *targets = document.array();
            ok = true;
        }
    }
    reply->deleteLater();
    return ok;
}

bool DevToolsClient::openSocket(const QString& webSocketUrl, int timeoutMs) {
    QEventLoop loop;
    connect(&m_socket, &QWebSocket::stateChanged, &loop, [&loop](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState)
            loop.quit();
    });
    m_socket.open(QUrl(webSocketUrl));
    if (m_socket.state() != QAbstractSocket::UnconnectedState && !isConnected())
        runLoop(loop, qMax(1000, timeoutMs));
    if (isConnected()) {
        m_lastError.clear();
        return true;
    }
    const QString reason = m_socket.errorString();
    m_socket.abort();
    fail(QStringLiteral("cannot open %1: %2").arg(webSocketUrl, reason));
    return false;
}

void DevToolsClient::disconnectFromPage() {
    m_awaitedIds.clear();
    m_responses.clear();
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        return;
    QEventLoop loop;
    connect(&m_socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
    m_socket.close();
    if (m_socket.state() != QAbstractSocket::UnconnectedState && !runLoop(loop, 2000))
        m_socket.abort();
}

bool DevToolsClient::isConnected() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

QJsonObject DevToolsClient::call(const QString& method, const QJsonObject& params, int timeoutMs) {
    m_lastError.clear();
    if (!isConnected())
        return fail(QStringLiteral("%1: not connected to a page").arg(method));

    const int id = m_nextId++;
    const QJsonObject message{{"id", id}, {"method", method}, {"params", params}};
    m_awaitedIds.insert(id);

    QEventLoop loop;
    connect(&m_socket, &QWebSocket::textMessageReceived, &loop, [this, id, &loop] {
        if (m_responses.contains(id))
            loop.quit();
    });
    connect(&m_socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
    m_socket.sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    runLoop(loop, timeoutMs);

    m_awaitedIds.remove(id);
    if (!m_responses.contains(id)) {
        if (!isConnected())
            return fail(QStringLiteral("%1: connection closed before the answer").arg(method));
        return fail(QStringLiteral("%1: no answer within %2 ms").arg(method).arg(timeoutMs));
    }
    const QJsonObject response = m_responses.take(id);
    if (response.contains("error")) {
        const QJsonObject error = response.value("error").toObject();
        m_lastError = QStringLiteral("%1: %2 (code %3)")
                          .arg(method, error.value("message").toString())
                          .arg(error.value("code").toInt());
        const QString data = error.value("data").toString();
        if (!data.isEmpty())
            m_lastError += QStringLiteral(": ") + data;
        return QJsonObject{{"error", error}};
    }
    return response.value("result").toObject();
}

QJsonValue DevToolsClient::evaluate(const QString& expression, int timeoutMs) {
    const QJsonObject result = call(
        QStringLiteral("Runtime.evaluate"),
        {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}}, timeoutMs);
    if (result.contains("error"))
        return QJsonValue(QJsonValue::Undefined);
    if (result.contains("exceptionDetails")) {
        m_lastError = describeException(result.value("exceptionDetails").toObject());
        return QJsonValue(QJsonValue::Undefined);
    }
    // "undefined" results carry no value and stay undefined here.
    return result.value("result").toObject().value("value");
}

bool DevToolsClient::waitFor(const QString& jsCondition, int timeoutMs) {
    // Resolving through a promise lets the condition itself be a promise; the newlines keep a
    // trailing line comment in the condition from swallowing the closing parenthesis.
    const QString probe =
        QStringLiteral("Promise.resolve((\n%1\n)).then(v => !!v)").arg(jsCondition);
    const QDeadlineTimer deadline(timeoutMs);
    QString lastProblem;
    while (true) {
        // The last check, made at the deadline, still gets time for an answer.
        const QJsonValue value = evaluate(probe, qMax(1000, remainingMs(deadline)));
        if (value.toBool()) {
            m_lastError.clear();
            return true;
        }
        lastProblem = m_lastError;
        if (!isConnected() || deadline.hasExpired())
            break;
        pause(qMin(kConditionPollIntervalMs, remainingMs(deadline)));
    }
    m_lastError =
        QStringLiteral("condition still false after %1 ms: %2").arg(timeoutMs).arg(jsCondition);
    if (!lastProblem.isEmpty())
        m_lastError += QStringLiteral(" (last problem: %1)").arg(lastProblem);
    return false;
}

void DevToolsClient::onTextMessage(const QString& message) {
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    if (object.contains("id")) {
        const int id = object.value("id").toInt();
        // Answers to commands that already timed out are dropped.
        if (m_awaitedIds.contains(id))
            m_responses.insert(id, object);
        return;
    }
    const QString method = object.value("method").toString();
    if (method.startsWith(QLatin1String("Page.")) || method.startsWith(QLatin1String("Runtime.")))
        m_events.append(object);
}

QJsonObject DevToolsClient::fail(const QString& message) {
    m_lastError = message;
    return QJsonObject{{"error", QJsonObject{{"message", message}}}};
}
