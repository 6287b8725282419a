#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// A private application directory in a temporary folder, for running the real client as a
// process: the built program (hard-linked, so its application directory is this one), the device
// library, the simulator's control tool and configuration, the page and the profiles, with user
// folders and simulator files of its own. Everything goes with the object.
class ClientAppDir {
public:
    struct Options {
        // Leave libdc.so out: the client runs without a device library.
        bool withDeviceLibrary = true;
        // A folder copied as view/ instead of the view/ beside the built program.
        QString pageDirectory;
        // Replaces Resources/profiles/conf.xml.
        std::optional<QByteArray> confXml;
        // The simulator configuration copied as dc-sim.json; empty: the one beside the library.
        QString simConfigFile;
    };

    struct DcsimResult {
        int exitCode = -1;  // -1 when dcsim could not be run or did not end in time
        QString out;
        QString err;
    };

    // The paths of the built artefacts; the view/ and Resources/profiles/ beside the program are
    // copied too. Check isValid() before use.
    ClientAppDir(const QString& clientExecutable, const QString& deviceLibrary,
                 const QString& dcsimExecutable, const Options& options);
    ClientAppDir(const QString& clientExecutable, const QString& deviceLibrary,
                 const QString& dcsimExecutable);

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // The temporary folder holding everything, and the application directory inside it.
    QString rootPath() const;
    QString path() const { return m_appDir; }
    QString executable() const { return m_appDir + QStringLiteral("/zelk"); }
    QString pagePath() const { return m_appDir + QStringLiteral("/view/index.html"); }
    int devtoolsPort() const { return m_devtoolsPort; }
    QString simSocketPath() const { return m_simSocket; }
    QString simStatePath() const { return m_simState; }
    QString simConfigPath() const { return m_appDir + QStringLiteral("/dc-sim.json"); }

    // The environment to run the program and dcsim in: the current one with user folders,
    // browser settings and simulator files moved into the temporary folder.
    QProcessEnvironment environment() const { return m_environment; }

    // Runs the copied dcsim with this directory's control socket and waits for it to end.
    DcsimResult runDcsim(const QStringList& arguments, int timeoutMs = 10000) const;

private:
    bool build(const QString& clientExecutable, const QString& deviceLibrary,
               const QString& dcsimExecutable, const Options& options);
    bool prepareEnvironment();
    bool fail(const QString& message);

    QTemporaryDir m_root;
    QString m_appDir;
    QString m_simSocket;
    QString m_simState;
    int m_devtoolsPort = 0;
    QProcessEnvironment m_environment;
    QString m_error;
};
