#include "RunningClient.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kOutputKept = 64 * 1024;

// Installed into the page once it is up: a record per query, and a copy of every entry the
// page's own setMessageCallback functions add to its event log (the log keeps only the last 50).
const char kPageHelpers[] = R"JS(
(function () {
    if (window.__e2e) {
        return true;
    }
    const e2e = window.__e2e = {queries: [], events: []};
    e2e.send = function (request) {
        const index = e2e.queries.length;
        e2e.queries.push({state: 'pending'});
        window.cefQuery({
            request: request,
            persistent: false,
            onSuccess: function (text) { e2e.queries[index] = {state: 'success', text: text}; },
            onFailure: function (code, text) {
                e2e.queries[index] = {state: 'failure', code: code, text: text};
            }
        });
        return index;
    };
    new MutationObserver(function (mutations) {
        mutations.forEach(function (mutation) {
            mutation.addedNodes.forEach(function (node) {
                const name = node.querySelector && node.querySelector('.event-name');
                const data = node.querySelector && node.querySelector('code');
                if (name && data) {
                    e2e.events.push({name: name.textContent, data: data.textContent});
                }
            });
        });
    }).observe(document.getElementById('events'), {childList: true});
    return true;
})()
)JS";

}  // namespace

QString compactJson(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString jsString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QJsonObject successRecord(const QString& text) {
    return {{"state", "success"}, {"text", text}};
}

QJsonObject failureRecord(const QString& text) {
    return {{"state", "failure"}, {"code", 0}, {"text", text}};
}

RunningClient::RunningClient(std::unique_ptr<ClientAppDir> dir) : m_dir(std::move(dir)) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { keepOutput(); });
}

RunningClient::~RunningClient() {
    stop();
}

bool RunningClient::start(QString* error) {
    m_process.setProcessEnvironment(m_dir->environment());
    m_process.setWorkingDirectory(m_dir->rootPath());
    m_process.start(m_dir->executable(), {});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        *error =
            QStringLiteral("cannot start %1: %2").arg(m_dir->executable(), m_process.errorString());
        return false;
    }
    const bool attached = m_page.connectToPage(
        m_dir->devtoolsPort(),
        [](const QString& url) {
            return url.startsWith(QLatin1String("file://")) &&
                   url.endsWith(QLatin1String("/view/index.html"));
        },
        kStartTimeoutMs);
    const bool up =
        attached && m_page.waitFor(QStringLiteral("typeof window.cefQuery === 'function' && "
                                                  "document.getElementById('status')."
                                                  "textContent === 'Client is up'"),
                                   kStartTimeoutMs);
    if (!up || m_page.evaluate(QString::fromUtf8(kPageHelpers)) != QJsonValue(true)) {
        *error = QStringLiteral("page not ready: %1\n%2").arg(m_page.lastError(), output());
        return false;
    }
    return true;
}

void RunningClient::stop() {
    if (!isRunning()) {
        return;
    }
    m_page.disconnectFromPage();
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
    keepOutput();
}

int RunningClient::waitForExit(int timeoutMs) {
    if (isRunning() && !m_process.waitForFinished(timeoutMs)) {
        return -1;
    }
    keepOutput();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString RunningClient::output() {
    keepOutput();
    return QString::fromLocal8Bit(m_output);
}

int RunningClient::send(const QJsonObject& request) {
    return sendText(compactJson(request));
}

int RunningClient::sendText(const QString& request) {
    const QJsonValue index =
        m_page.evaluate(QStringLiteral("window.__e2e.send(%1)").arg(jsString(request)));
    return index.isDouble() ? index.toInt() : -1;
}

QJsonObject RunningClient::record(int index) {
    return m_page.evaluate(QStringLiteral("window.__e2e.queries[%1]").arg(index)).toObject();
}

QJsonObject RunningClient::answer(int index) {
    m_page.waitFor(QStringLiteral("window.__e2e.queries[%1].state !== 'pending'").arg(index));
    return record(index);
}

QJsonObject RunningClient::ask(const QJsonObject& request) {
    const int index = send(request);
    return index < 0 ? QJsonObject{{"state", "not sent: " + m_page.lastError()}} : answer(index);
}

QStringList RunningClient::events(int from) {
    const QJsonArray list =
        m_page
            .evaluate(
                QStringLiteral("window.__e2e.events.slice(%1).map(e => e.name + ' ' + e.data)")
                    .arg(from))
            .toArray();
    QStringList events;
    for (const QJsonValue& event : list) {
        events.append(event.toString());
    }
    return events;
}

int RunningClient::eventCount() {
    return m_page.evaluate("window.__e2e.events.length").toInt(-1);
}

void RunningClient::keepOutput() {
    m_output.append(m_process.readAll());
    if (m_output.size() > kOutputKept) {
        m_output.remove(0, m_output.size() - kOutputKept);
    }
}
