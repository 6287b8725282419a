#pragma once

#include <QString>

// The machine's identity as the client reports it to the page and the update service.
namespace NetworkIdentity {

// The hardware address of the first interface that is not a loopback, or "".
QString macAddress();
// The first IPv4 address other than 127.0.0.1, or "".
QString ipAddress();

}  // namespace NetworkIdentity
