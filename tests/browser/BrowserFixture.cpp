#include "BrowserFixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include "TestEnvironment.h"
#include "browser/ClientHandler.h"
#include "browser/ZelkPage.h"
#include "browser/ZelkWebView.h"

BrowserFixture::BrowserFixture(const QStringList& clientArguments)
    : m_client(std::make_unique<ClientHandler>(clientArguments)) {
    globalClientHandler = m_client.get();
}

BrowserFixture::~BrowserFixture() {
    m_devtools.disconnectFromPage();
    m_client->closeAllPopups();
    // The pages go before the profile the client handler owns.
    m_window.reset();
    m_client.reset();
}

bool BrowserFixture::start(const QUrl& firstPage) {
    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("zelk browser test"));
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new ZelkWebView(m_window.get());
    layout->addWidget(m_view);
    QObject::connect(m_view, &ZelkWebView::jsMessage, &m_queries, &QueryRecorder::onJsMessage);
    m_client->setMainWindowHandle(m_window.get());

    m_window->setGeometry(100, 100, 800, 600);
    m_view->load(firstPage);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        return fail(QStringLiteral("the window was never exposed"));
    if (!page())
        return fail(QStringLiteral("the view created no browser"));
    return ensureConnected(firstPage) &&
           waitFor(QStringLiteral("document.readyState === 'complete' && !!window.T")) && settle();
}

bool BrowserFixture::open(const QString& file, const QString& query) {
    QString fullQuery = query;
    if (!fullQuery.isEmpty())
        fullQuery += '&';
    fullQuery += QStringLiteral("load=%1").arg(++m_loads);
    return openUrl(pageUrl(file, fullQuery)) && waitFor(QStringLiteral("!!window.T")) && settle();
}

bool BrowserFixture::openUrl(const QUrl& url) {
    m_view->load(url);
    const QString href = url.toString(QUrl::FullyEncoded);
    return ensureConnected(url) &&
           waitFor(QStringLiteral("location.href === %1 && document.readyState === 'complete'")
                       .arg(jsString(href)));
}

bool BrowserFixture::settle() {
    if (!QTest::qWaitFor([this] { return page() && !page()->isLoading(); }, 10000))
        return fail(QStringLiteral("the page is still loading"));
    return sync();
}

bool BrowserFixture::sync() {
    const QJsonValue answer = evaluate(QStringLiteral("T.ask('echo sync').then(a => a.text)"));
    if (!m_error.isEmpty())
        return false;
    if (answer != QJsonValue(QStringLiteral("echo:echo sync")))
        return fail(QStringLiteral("the sync query got %1")
                        .arg(QString::fromUtf8(QJsonDocument(QJsonArray{answer}).toJson())));
    return true;
}

bool BrowserFixture::waitFor(const QString& jsCondition, int timeoutMs) {
    m_error.clear();
    if (m_devtools.waitFor(jsCondition, timeoutMs))
        return true;
    return fail(m_devtools.lastError());
}

QJsonValue BrowserFixture::evaluate(const QString& expression) {
    const QJsonValue value = m_devtools.evaluate(expression);
    m_error = m_devtools.lastError();
    return value;
}

ZelkPage* BrowserFixture::page() const {
    return m_view ? m_view->browser() : nullptr;
}

QString BrowserFixture::pagesFolder() {
    return QStringLiteral(ZELK_BROWSER_TEST_PAGES);
}

QString BrowserFixture::jsString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QUrl BrowserFixture::pageUrl(const QString& file, const QString& query) {
    QUrl url = QUrl::fromLocalFile(QDir(pagesFolder()).absoluteFilePath(file));
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

bool BrowserFixture::fail(const QString& message) {
    m_error = message;
    return false;
}

bool BrowserFixture::ensureConnected(const QUrl& expected) {
    if (m_devtools.isConnected())
        return true;
    const QString href = expected.toString(QUrl::FullyEncoded);
    if (!m_devtools.connectToPage(TestEnvironment::devtoolsPort(),
                                  [&](const QString& url) { return url == href; }))
        return fail(m_devtools.lastError());
    return true;
}
