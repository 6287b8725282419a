#include "shell/NetworkIdentity.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace NetworkIdentity {

QString macAddress() {
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (!(interface.flags() & QNetworkInterface::IsLoopBack)) {
            return interface.hardwareAddress();
        }
    }
    return QString();
}

QString ipAddress() {
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol &&
            address != QHostAddress(QHostAddress::LocalHost)) {
            return address.toString();
        }
    }
    return QString();
}

}  // namespace NetworkIdentity
