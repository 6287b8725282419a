#pragma once

#include <QPointer>
#include <QVariantList>
#include <QWebEnginePage>

class ClientHandler;
class QueryBridge;
class QWebEngineLoadingInfo;

// One browser: a page of the engine with the program's browsing policy, its query bridge and its
// event channel.
class ZelkPage : public QWebEnginePage {
    Q_OBJECT
public:
    ZelkPage(ClientHandler* client, QWebEngineProfile* profile, bool isPopup, QObject* parent);
    ~ZelkPage() override;

    // Null once the page's scripts have had the bridge deleted.
    QueryBridge* bridge() const;
    void dropQueries();
    void sendEvent(const QString& name, const QVariantList& args);
    int browserId() const { return m_browserId; }
    bool isPopup() const { return m_isPopup; }
    QWidget* view() const;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceId) override;

private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode);
    void onFeaturePermissionRequested(const QUrl& origin, Feature feature);

    ClientHandler* m_client;
    QPointer<QueryBridge> m_bridge;
    const int m_browserId;
    const bool m_isPopup;
};
