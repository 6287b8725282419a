#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A minimal HTTP server on 127.0.0.1 for the benchmark page. The page is served with the
// cross-origin isolation headers because only an isolated page reads performance.now() at 5 µs;
// everywhere else (file:// included) the engine clamps it to 100 µs, as coarse as a round trip.
class FixtureServer : public QObject {
    Q_OBJECT
public:
    explicit FixtureServer(QObject* parent = nullptr);

    // Serves body at path ("/name.html") from now on.
    void addFile(const QString& path, const QByteArray& contentType, const QByteArray& body);
    bool start();
    QString errorString() const { return m_server.errorString(); }
    QUrl urlOf(const QString& path) const;

private:
    struct File {
        QByteArray contentType;
        QByteArray body;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    QByteArray responseFor(const QByteArray& requestHead) const;

    QTcpServer m_server;
    QHash<QString, File> m_files;
};
