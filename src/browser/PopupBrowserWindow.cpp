#include "browser/PopupBrowserWindow.h"

#include "browser/ClientHandler.h"
#include "browser/ZelkPage.h"

PopupBrowserWindow::PopupBrowserWindow(ClientHandler* client)
    : BrowserView(nullptr), m_browser(new ZelkPage(client, client->profile(), true, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setPage(m_browser);
    resize(800, 600);
    connect(m_browser, &QWebEnginePage::windowCloseRequested, this, &QWidget::close);
    connect(m_browser, &QWebEnginePage::geometryChangeRequested, this,
            [this](const QRect& geometry) { setGeometry(geometry); });
}
