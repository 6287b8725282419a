#pragma once

#include "browser/QueryHandler.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QWidget>
#include <functional>

class MessageEvent;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class ZelkPage;

// The one browser client: every browser the program creates goes through it. It owns the engine
// profile, keeps the first browser as the main browser (the one native events go to), routes page
// queries to the current listener and carries the browsing policy shared by every page.
class ClientHandler : public QObject {
    Q_OBJECT
public:
    // The web view that receives page queries and learns when its browser exists.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void NotifyBrowserCreated(ZelkPage* browser) = 0;
        // Takes ownership of the event.
        virtual void PostMessageEvent(MessageEvent* event) = 0;
    };

    // Reads the switches "--url=" (start address after a renderer crash) from the arguments.
    explicit ClientHandler(const QStringList& arguments, QObject* parent = nullptr);
    ~ClientHandler() override;

    static QString defaultHomePage();
    static int browserCount();

    // The engine profile, created on first use: a process that never shows a page never starts
    // the engine.
    QWebEngineProfile* profile();
    ZelkPage* createBrowser(QObject* parent);
    ZelkPage* currentBrowser() const;
    QList<ZelkPage*> popupBrowsers() const { return m_popupBrowsers; }
    void closeAllPopups();

    Listener* listener() const { return m_listener; }
    void setListener(Listener* listener) { m_listener = listener; }
    void forgetListener(Listener* listener);

    QWidget* mainWindowHandle() const { return m_mainWindowHandle; }
    void setMainWindowHandle(QWidget* window) { m_mainWindowHandle = window; }
    bool closingFlag() const;

    QString startupUrl() const { return m_startupUrl; }
    // The main window's page becomes the start address unless the "url" switch named one.
    void setDefaultStartupUrl(const QString& url);

    // Work that must be done before the page minimises its window (pending files written).
    void setBeforeMinimise(std::function<void()> work) { m_beforeMinimise = std::move(work); }
    void runBeforeMinimise();

    // Native-to-page events, callable from any thread; they reach the main browser's page in the
    // order each thread raised them, or are dropped when there is no main browser.
    void sendDevicesChanged(int code);
    void sendMacroItem(const QString& a, const QString& b, const QString& c, const QString& d);
    void sendCurrentPropChanged(int propIndex, int proMode);
    void sendNavStateChanged(bool canGoBack, bool canGoForward);
    void sendDeviceData(const QString& hex);
    void sendProcessChanged(const QString& program, bool running);

    // Called by the pages.
    void onBrowserCreated(ZelkPage* browser);
    void onBeforeClose(ZelkPage* browser);
    void onQuery(const QString& request, const QueryCallbackPtr& callback);
    ZelkPage* openPopup();

signals:
    void popupOpened(QWidget* window);

private:
    void sendEvent(const QString& name, const QVariantList& args);
    void deliverEvent(const QString& name, const QVariantList& args);
    void onDownloadRequested(QWebEngineDownloadRequest* download);

    Listener* m_listener = nullptr;
    QString m_startupUrl;
    bool m_startupUrlFromSwitch = false;
    mutable QMutex m_lock;
    QPointer<ZelkPage> m_mainBrowser;
    int m_mainBrowserId = 0;
    bool m_closingFlag = false;
    QList<ZelkPage*> m_popupBrowsers;
    QPointer<QWidget> m_mainWindowHandle;
    window_test::Handler m_queryHandler;
    std::function<void()> m_beforeMinimise;
    QWebEngineProfile* m_profile = nullptr;
};

// The one browser client of the process; null before the entry point creates it.
extern ClientHandler* globalClientHandler;

// The main browser of globalClientHandler, or null.
ZelkPage* mainBrowser();
