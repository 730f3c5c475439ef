#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 responder for the monitor's GET requests: one request per
// connection, answered and closed. It holds a request no longer than a few
// seconds and no larger than a few kilobytes, and a bounded number of
// connections, so a client that is slow, large or hostile costs the
// terminals nothing.
class HttpEndpoint : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
    };
    // The route's answer for a path; a status of 404 when there is none.
    using Handler = std::function<Response(const QByteArray& path)>;

    static constexpr int MaxConnections = 32;
    static constexpr qsizetype MaxHead = 8192;
    static constexpr int Deadline = 5000; // milliseconds for a connection, answer included

    explicit HttpEndpoint(Handler handler, int deadline = Deadline, QObject* parent = nullptr);
    ~HttpEndpoint() override;

    // False with the reason when the address and port cannot be held.
    bool listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    int connections() const { return int(m_connections.size()); }

    // The answer to a request head (without its empty line), for any transport.
    Response answer(const QByteArray& head) const;

private:
    void accept();
    void read(QTcpSocket* socket);
    // `close`: once sent; otherwise the client closes, or the deadline does.
    void reply(QTcpSocket* socket, const Response& response, bool withBody, bool close);
    void drop(QTcpSocket* socket);

    Handler m_handler;
    int m_deadline;
    QTcpServer m_server;
    struct Connection
    {
        QByteArray head; // the request read so far
        bool answered = false;
    };
    QHash<QTcpSocket*, Connection> m_connections;
};
