#include "support/httpclient.h"

#include <QSignalSpy>
#include <QTcpSocket>

QByteArray httpExchange(quint16 port, const QByteArray& request, int timeoutMs)
{
    QTcpSocket socket;
    QByteArray answer;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        answer += socket.readAll();
        // A client that has its whole answer closes.
        const qsizetype end = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.indexOf("Content-Length: ");
        if (end > 0 && length > 0 && length < end &&
            answer.size() - end - 4 >= answer.mid(length + 16, 12).split('\r')[0].toInt())
            socket.disconnectFromHost();
    });
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, port);
    closed.wait(timeoutMs);
    return answer;
}

QByteArray httpGet(quint16 port, const QByteArray& path, int status)
{
    const QByteArray answer = httpExchange(port, "GET " + path + " HTTP/1.1\r\nHost: test\r\n\r\n");
    if (!answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '))
        return QByteArray();
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}
