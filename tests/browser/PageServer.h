#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A minimal HTTP server on 127.0.0.1 serving the files of one folder, for pages that need a web
// origin of their own. GET only; a missing file gets 404 with a small body; the path "/hold" is
// never answered, so a load of it stays pending until the browser gives up on it.
class PageServer : public QObject {
    Q_OBJECT
public:
    explicit PageServer(const QString& rootFolder, QObject* parent = nullptr);

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& pathAndQuery) const;
    // Paths of the requests received so far, without the query.
    QStringList requestedPaths() const { return m_requestedPaths; }
    // Closes the connections kept open by "/hold".
    void releaseHeld();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const QByteArray& path);

    QTcpServer m_server;
    QString m_root;
    QStringList m_requestedPaths;
    QList<QPointer<QTcpSocket>> m_held;
};
