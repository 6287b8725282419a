#include "FixtureServer.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

// Requests larger than this without a blank line are not the browser's.
constexpr int kMaxRequestHead = 16 * 1024;

QByteArray statusResponse(const QByteArray& status) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

}  // namespace

FixtureServer::FixtureServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &FixtureServer::onNewConnection);
}

void FixtureServer::addFile(const QString& path, const QByteArray& contentType,
                            const QByteArray& body) {
    m_files.insert(path, File{contentType, body});
}

bool FixtureServer::start() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl FixtureServer::urlOf(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void FixtureServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void FixtureServer::onReadyRead(QTcpSocket* socket) {
    // One request per connection: the head is gathered in the socket's buffer until it is whole.
    const QByteArray pending = socket->peek(kMaxRequestHead + 1);
    const int headEnd = pending.indexOf("\r\n\r\n");
    if (headEnd < 0 && pending.size() <= kMaxRequestHead) {
        return;
    }
    socket->readAll();
    const QByteArray response = headEnd < 0 ? statusResponse("431 Request Header Fields Too Large")
                                            : responseFor(pending.left(headEnd));
    socket->write(response);
    socket->disconnectFromHost();
}

QByteArray FixtureServer::responseFor(const QByteArray& requestHead) const {
    const QList<QByteArray> requestLine = requestHead.left(requestHead.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || requestLine.at(0) != "GET") {
        return statusResponse("405 Method Not Allowed");
    }
    const QByteArray target = requestLine.at(1);
    const qsizetype queryStart = target.indexOf('?');
    const QString path = QString::fromLatin1(queryStart < 0 ? target : target.left(queryStart));
    const auto found = m_files.constFind(path);
    if (found == m_files.constEnd()) {
        return statusResponse("404 Not Found");
    }
    return "HTTP/1.1 200 OK\r\n"
           "Content-Type: " +
           found->contentType +
           "\r\n"
           "Content-Length: " +
           QByteArray::number(found->body.size()) +
           "\r\n"
           "Cache-Control: no-store\r\n"
           "Cross-Origin-Opener-Policy: same-origin\r\n"
           "Cross-Origin-Embedder-Policy: require-corp\r\n"
           "Cross-Origin-Resource-Policy: same-origin\r\n"
           "Connection: close\r\n\r\n" +
           found->body;
}
