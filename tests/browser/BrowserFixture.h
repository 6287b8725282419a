#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

#include "DevToolsClient.h"
#include "QueryRecorder.h"

class ClientHandler;
class QWidget;
class ZelkPage;
class ZelkWebView;

// The browser host put together the way the program does it, for end-to-end tests: the client
// handler as globalClientHandler, a top-level window hosting a ZelkWebView (the window the page's
// window commands act on), a QueryRecorder answering the view's page queries and a DevTools
// connection to the main page. Build it after the QApplication, inside a test function.
class BrowserFixture {
public:
    explicit BrowserFixture(const QStringList& clientArguments = {});
    ~BrowserFixture();

    // Shows the window, opens the first page and attaches the DevTools client to it.
    bool start(const QUrl& firstPage);

    // Opens a file of the fixture folder with the query plus a "load" item unique to this call,
    // and waits until that document is complete and its harness is there.
    bool open(const QString& file, const QString& query = QString());
    // Loads the URL and waits until the page shows that address with a complete document.
    bool openUrl(const QUrl& url);

    // Waits until the page has finished loading, then makes one query round trip: every event and
    // answer native code sent the page before has been handled by the page afterwards.
    bool settle();
    // One query round trip ("echo sync"). Queries are handled in the order they were made and
    // the channel keeps the order of what native code sends, so anything answered or sent to
    // the page before has reached the page when this returns true.
    bool sync();

    // DevTools helpers that set error() on failure (and clear it on success).
    bool waitFor(const QString& jsCondition, int timeoutMs = 10000);
    QJsonValue evaluate(const QString& expression);

    ClientHandler* client() const { return m_client.get(); }
    QWidget* window() const { return m_window.get(); }
    ZelkWebView* view() const { return m_view; }
    ZelkPage* page() const;
    DevToolsClient& devtools() { return m_devtools; }
    QueryRecorder& queries() { return m_queries; }
    QString error() const { return m_error; }

    static QString pagesFolder();
    // The text as a JavaScript string literal.
    static QString jsString(const QString& text);
    static QUrl pageUrl(const QString& file, const QString& query = QString());

private:
    bool fail(const QString& message);
    bool ensureConnected(const QUrl& expected);

    std::unique_ptr<ClientHandler> m_client;
    std::unique_ptr<QWidget> m_window;
    ZelkWebView* m_view = nullptr;
    QueryRecorder m_queries;
    DevToolsClient m_devtools;
    QString m_error;
    int m_loads = 0;
};
