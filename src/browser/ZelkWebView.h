#pragma once

#include "browser/ClientHandler.h"
#include "browser/QueryCallback.h"

#include <QSize>
#include <QUrl>
#include <QVariant>
#include <QWidget>

class BrowserView;
class ZelkPage;

// The address a view opens when it is given none.
extern const QString blankPageUrl;

// The widget that shows a browser. The browser is created lazily, at the first positive size, and
// page queries that reach this view as the client's listener come out as jsMessage on the main
// thread.
class ZelkWebView : public QWidget, public ClientHandler::Listener {
    Q_OBJECT
public:
    enum class BrowserState { None = 0, Creating = 1, Created = 2 };

    explicit ZelkWebView(QWidget* parent = nullptr);
    ~ZelkWebView() override;

    void load(const QUrl& url);
    bool createBrowser(const QSize& size);
    bool navigate(const QUrl& url);
    void resizeBrowser(const QSize& size);

    BrowserState browserState() const { return m_browserState; }
    QUrl url() const { return m_url; }
    ZelkPage* browser() const { return m_browser; }
    BrowserView* browserWidget() const { return m_browserWidget; }

    void NotifyBrowserCreated(ZelkPage* browser) override;
    void PostMessageEvent(MessageEvent* event) override;

public slots:
    void back();
    void forward();
    void reload();
    void stop();
    // Runs the script in the page's main frame; true when there was a browser to run it in.
    QVariant evaluateJavaScript(const QString& scriptSource);

signals:
    void jsMessage(const QString& name, const QueryCallbackPtr& callbackPtr);

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    BrowserState m_browserState = BrowserState::None;
    bool m_resizePending = false;
    bool m_loadPending = false;
    QUrl m_url;
    BrowserView* m_browserWidget = nullptr;
    ZelkPage* m_browser = nullptr;
};
