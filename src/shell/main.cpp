#include "browser/ClientHandler.h"
#include "browser/WebLog.h"
#include "platform/ProcessPrivileges.h"
#include "platform/TerminationWatcher.h"
#include "platform/UserTemporaryFolder.h"
#include "shell/AppGlobals.h"
#include "shell/StartupOptions.h"
#include "shell/cefApplication.h"
#include "ui/zelk.h"
#include "update/UpdaterLaunch.h"

#include <memory>

int main(int argc, char** argv) {
    // Chromium's sandbox cannot run for the super-user; everyone else keeps it.
    if (processRunsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const StartupOptions options = StartupOptions::parse(argc, argv);

    auto app = std::make_unique<cefApplication>(argc, argv);
    const QString logPath = userTemporaryFolder() + QStringLiteral("/web.log");
    if (!WebLog::open(logPath, options.logSeverity)) {
        qWarning("cannot write the log file %s", qPrintable(logPath));
    }
    auto client = std::make_unique<ClientHandler>(QCoreApplication::arguments());
    globalClientHandler = client.get();

    app->setMainWindowFactory([] { return new zelk(); });
    // A session that ends or a stop request saves the open profiles before the client quits.
    const std::unique_ptr<TerminationWatcher> termination = TerminationWatcher::create();
    if (termination) {
        QObject::connect(termination.get(), &TerminationWatcher::terminationRequested, app.get(),
                         &cefApplication::on_closeApp);
    }
    app->initInstance();
    const int exitCode = app->exec();

    // The pages go before the engine profile, and the engine before the application object.
    app->releaseOwnedObjects();
    client.reset();
    app.reset();
    WebLog::close();

    if (installUpdateOnExit) {
        launchUpdater();
    }
    return exitCode;
}
