#include "terminal/netctl/endpoint.h"

#include <QHostAddress>

std::optional<Endpoint> Endpoint::parse(const QString& address, quint16 defaultPort)
{
    const QString text = address.trimmed();
    const qsizetype colon = text.indexOf(u':');
    Endpoint endpoint{text.left(colon < 0 ? text.size() : colon), defaultPort};
    if (colon >= 0) {
        bool ok = false;
        const uint port = text.mid(colon + 1).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        endpoint.port = static_cast<quint16>(port);
    }
    const QHostAddress host(endpoint.host);
    if (host.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    endpoint.host = host.toString();
    return endpoint;
}
