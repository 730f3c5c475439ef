#pragma once

#include <QString>

#include <optional>

// A terminal address as the terminal table writes it: "a.b.c.d", or
// "a.b.c.d:port" for a terminal that listens on another port.
struct Endpoint
{
    QString host;
    quint16 port = 0;

    static std::optional<Endpoint> parse(const QString& address, quint16 defaultPort);
};
