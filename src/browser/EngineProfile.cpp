#include "browser/EngineProfile.h"

#include "browser/BrowserLog.h"
#include "platform/UserTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

QString readResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcBrowser) << "missing resource" << path << file.errorString();
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

}  // namespace

QString bridgeScriptSource() {
    const QString channel = readResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    const QString bridge = readResource(QStringLiteral(":/zelk/bridge/bootstrap.js"));
    if (channel.isEmpty() || bridge.isEmpty()) {
        return QString();
    }
    // The channel client stays private to the bridge: pages see only the bridge's functions.
    return QStringLiteral("(function () {\n") + channel +
           QStringLiteral("\nvar ZelkChannel = QWebChannel;\n") + bridge +
           QStringLiteral("\n})();\n");
}

QWebEngineProfile* createEngineProfile(QObject* parent) {
    auto* profile = new QWebEngineProfile(QStringLiteral("zelk"), parent);
    const QString storage = userTemporaryFolder() + QStringLiteral("/Cache");
    profile->setPersistentStoragePath(storage);
    profile->setCachePath(storage);
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);

    QWebEngineSettings* settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings->setAttribute(QWebEngineSettings::LinksIncludedInFocusChain, false);
    return profile;
}

QWebEngineScript bridgeScript() {
    QWebEngineScript script;
    script.setName(QStringLiteral("zelk-bridge"));
    static const QString source = bridgeScriptSource();
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}
