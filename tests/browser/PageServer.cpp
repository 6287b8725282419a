#include "PageServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

namespace {

QByteArray contentType(const QString& fileName) {
    if (fileName.endsWith(QLatin1String(".html")))
        return "text/html; charset=utf-8";
    if (fileName.endsWith(QLatin1String(".js")))
        return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

void sendResponse(QTcpSocket* socket, const QByteArray& status, const QByteArray& type,
                  const QByteArray& body) {
    socket->write("HTTP/1.0 " + status + "\r\nContent-Type: " + type +
                  "\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

}  // namespace

PageServer::PageServer(const QString& rootFolder, QObject* parent)
    : QObject(parent), m_root(QDir(rootFolder).absolutePath()) {
    connect(&m_server, &QTcpServer::newConnection, this, &PageServer::onNewConnection);
}

bool PageServer::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl PageServer::url(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(port()).arg(pathAndQuery));
}

void PageServer::releaseHeld() {
    for (const QPointer<QTcpSocket>& socket : qAsConst(m_held)) {
        if (socket)
            socket->abort();
    }
    m_held.clear();
}

void PageServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void PageServer::onReadyRead(QTcpSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    if (!head.contains("\r\n\r\n"))
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    if (requestLine.size() < 2 || requestLine.first() != "GET") {
        sendResponse(socket, "405 Method Not Allowed", "text/plain", "GET only");
        return;
    }
    respond(socket, requestLine.at(1));
}

void PageServer::respond(QTcpSocket* socket, const QByteArray& target) {
    const QByteArray path =
        target.left(target.indexOf('?') >= 0 ? target.indexOf('?') : target.size());
    m_requestedPaths.append(QString::fromUtf8(path));
    if (path == "/hold") {
        m_held.append(socket);
        return;
    }
    const QString relative = QUrl::fromPercentEncoding(path).mid(1);
    const QString filePath = QDir(m_root).absoluteFilePath(relative);
    QFile file(filePath);
    if (relative.isEmpty() || relative.contains(QLatin1String("..")) ||
        !QFileInfo(filePath).isFile() || !file.open(QIODevice::ReadOnly)) {
        sendResponse(socket, "404 Not Found", "text/html; charset=utf-8",
                     "<!DOCTYPE html><html><head><script src=\"/harness.js\"></script></head>"
                     "<body><p id=\"marker\">not found here</p></body></html>");
        return;
    }
    sendResponse(socket, "200 OK", contentType(filePath), file.readAll());
}
