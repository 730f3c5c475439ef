#pragma once

#include <QTcpServer>

// A TCP port that nothing listens on right now, for a process under test.
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
