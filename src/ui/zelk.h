#pragma once

#include "browser/QueryCallback.h"
#include "device/DeviceCommands.h"
#include "profiles/ProfileCache.h"
#include "profiles/ProfileCommands.h"
#include "profiles/ProfileStore.h"
#include "shell/MainWindowHost.h"
#include "ui/CommandDispatcher.h"

#include <QRect>
#include <QUrl>
#include <QWidget>

class ZelkWebView;

// The client's one top-level window: frameless, its whole area the page. It answers the page's
// commands and keeps the profile documents the page edits.
class zelk : public QWidget, public MainWindowHost {
    Q_OBJECT
public:
    explicit zelk(QWidget* parent = nullptr);
    ~zelk() override;

    static QSize initialSize(const QString& clientSize);
    static QUrl pageUrl();
    // "file://" + the application directory + path, as the page wrote the path.
    static QUrl applicationPageUrl(const QString& path);

    QWidget* widget() override { return this; }
    void setUpTray() override;
    void flushProfiles() override;
    void bringToFront() override;

    ProfileCache& profileCache() { return m_profileCache; }
    ZelkWebView* webView() const { return m_webView; }
    CommandDispatcher& dispatcher() { return m_dispatcher; }
    QRect normalGeometry() const { return m_normalGeometry; }
    bool showConfRegistered() const { return m_showConfRegistered; }
    bool testToolRegistered() const { return m_testToolRegistered; }

    void loadPageUrl(const QString& path);
    void dispatchCommand(const QString& name, const QVariantMap& members,
                         const QueryCallbackPtr& callback);

public slots:
    void quitApp();
    void reload_currentPage();
    void onJsMessage(const QString& name, const QueryCallbackPtr& callbackPtr);
    void onCurrentPropChanged(int propIndex, int proMode);
    void onshowWidget();
    void oncloseApp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    ProfileCache m_profileCache;
    ProfileStore m_profileStore;
    ProfileCommands m_profileCommands;
    DeviceCommands m_deviceCommands;
    ZelkWebView* m_webView = nullptr;
    QRect m_normalGeometry;
    bool m_showConfRegistered = false;
    bool m_testToolRegistered = false;
    CommandDispatcher m_dispatcher;
};
