#include "browser/ZelkWebView.h"

#include "browser/BrowserView.h"
#include "browser/MessageEvent.h"
#include "browser/ZelkPage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QResizeEvent>

const QString blankPageUrl = QStringLiteral("about:blank");

ZelkWebView::ZelkWebView(QWidget* parent) : QWidget(parent, Qt::WindowFlags()) {}

ZelkWebView::~ZelkWebView() {
    if (globalClientHandler) {
        globalClientHandler->forgetListener(this);
    }
    // The page goes before the widget it renders into.
    delete m_browser;
    m_browser = nullptr;
}

void ZelkWebView::load(const QUrl& url) {
    m_url = url;
    switch (m_browserState) {
        case BrowserState::None:
            createBrowser(size());
            break;
        case BrowserState::Creating:
            m_loadPending = true;
            break;
        case BrowserState::Created:
            navigate(url);
            break;
    }
}

bool ZelkWebView::createBrowser(const QSize& size) {
    if (m_browserState != BrowserState::None || !globalClientHandler) {
        return false;
    }
    if (size.width() < 1 || size.height() < 1) {
        return false;
    }
    m_browserState = BrowserState::Creating;
    globalClientHandler->setListener(this);
    m_browserWidget = new BrowserView(this);
    m_browserWidget->setGeometry(0, 0, size.width(), size.height());
    // The client reports the new browser to its listener, this view, before it returns it.
    m_browser = globalClientHandler->createBrowser(m_browserWidget);
    m_browserWidget->setPage(m_browser);
    m_browser->load(m_url.isEmpty() ? QUrl(blankPageUrl) : m_url);
    m_browserWidget->show();
    return true;
}

bool ZelkWebView::navigate(const QUrl& url) {
    Q_UNUSED(url);
    if (m_url.isEmpty() || !m_browser) {
        return false;
    }
    m_browser->load(m_url);
    return true;
}

void ZelkWebView::resizeBrowser(const QSize& size) {
    if (m_browserWidget) {
        m_browserWidget->setGeometry(0, 0, size.width(), size.height());
    }
}

void ZelkWebView::NotifyBrowserCreated(ZelkPage* browser) {
    if (m_browserState != BrowserState::Creating || (m_browser && browser != m_browser)) {
        return;
    }
    m_browser = browser;
    m_browserState = BrowserState::Created;
    // Whatever arrived while the browser was being made applies now.
    if (m_resizePending) {
        m_resizePending = false;
        resizeBrowser(size());
    }
    if (m_loadPending) {
        m_loadPending = false;
        navigate(m_url);
    }
}

void ZelkWebView::PostMessageEvent(MessageEvent* event) {
    QCoreApplication::postEvent(this, event, Qt::HighEventPriority);
}

void ZelkWebView::back() {
    if (m_browser) {
        m_browser->triggerAction(QWebEnginePage::Back);
    }
}

void ZelkWebView::forward() {
    if (m_browser) {
        m_browser->triggerAction(QWebEnginePage::Forward);
    }
}

void ZelkWebView::reload() {
    if (m_browser) {
        m_browser->triggerAction(QWebEnginePage::Reload);
    }
}

void ZelkWebView::stop() {
    if (m_browser) {
        m_browser->triggerAction(QWebEnginePage::Stop);
    }
}

QVariant ZelkWebView::evaluateJavaScript(const QString& scriptSource) {
    if (!m_browser) {
        return false;
    }
    m_browser->runJavaScript(scriptSource);
    return true;
}

void ZelkWebView::customEvent(QEvent* event) {
    if (event->type() == messageEventType) {
        auto* message = static_cast<MessageEvent*>(event);
        emit jsMessage(message->name(), message->callback());
    }
}

void ZelkWebView::resizeEvent(QResizeEvent* event) {
    switch (m_browserState) {
        case BrowserState::None:
            createBrowser(event->size());
            break;
        case BrowserState::Creating:
            m_resizePending = true;
            break;
        case BrowserState::Created:
            resizeBrowser(event->size());
            break;
    }
    QWidget::resizeEvent(event);
}

void ZelkWebView::closeEvent(QCloseEvent* event) {
    if (m_browser && globalClientHandler && !globalClientHandler->closingFlag()) {
        m_browser->triggerAction(QWebEnginePage::RequestClose);
    }
    event->accept();
}

void ZelkWebView::showEvent(QShowEvent* event) {
    createBrowser(size());
    QWidget::showEvent(event);
}
