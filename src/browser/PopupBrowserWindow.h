#pragma once

#include "browser/BrowserView.h"

class ClientHandler;
class ZelkPage;

// A window the page opened (window.open): a top-level browser of its own with the same policy,
// deleted when closed or when the page asks to close it.
class PopupBrowserWindow : public BrowserView {
    Q_OBJECT
public:
    explicit PopupBrowserWindow(ClientHandler* client);

    ZelkPage* browser() const { return m_browser; }

private:
    ZelkPage* m_browser;
};
