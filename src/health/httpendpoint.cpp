#include "health/httpendpoint.h"

#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

HttpEndpoint::Response plain(int status)
{
    return {status, "text/plain; charset=utf-8", reason(status) + '\n'};
}

// A method is a token of capitals; anything else is not HTTP.
bool isMethod(const QByteArray& word)
{
    return !word.isEmpty() && word.size() <= 16 &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// What comes before the first `separator`, or all of it.
QByteArray before(const QByteArray& bytes, char separator)
{
    const qsizetype at = bytes.indexOf(separator);
    return at < 0 ? bytes : bytes.left(at);
}

} // namespace

HttpEndpoint::HttpEndpoint(Handler handler, int deadline, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_deadline(deadline)
{
    m_server.setMaxPendingConnections(MaxConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &HttpEndpoint::accept);
}

// The connections go with the listening socket, their parent: unheard.
HttpEndpoint::~HttpEndpoint()
{
    for (QTcpSocket* socket : m_connections.keys())
        socket->disconnect(this);
}

bool HttpEndpoint::listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (m_server.listen(address, port))
        return true;
    error = m_server.errorString();
    return false;
}

void HttpEndpoint::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_connections.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connections.insert(socket, Connection());
        // Unread bytes wait in the system, not here.
        socket->setReadBufferSize(MaxHead);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { drop(socket); });
        // Whatever it is still doing then, sending or reading, the connection ends.
        QTimer::singleShot(m_deadline, socket, [this, socket] { drop(socket); });
        read(socket);
    }
}

void HttpEndpoint::read(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    // After an oversize head the rest is read and let go until the client
    // closes: closing on unread bytes would reset the link and lose the answer.
    if (it->answered) {
        socket->skip(socket->bytesAvailable());
        return;
    }
    QByteArray& head = it->head;
    head += socket->read(MaxHead + 1 - head.size());
    qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        end = head.indexOf("\n\n");
    if (end >= 0)
        reply(socket, answer(head.left(end)), before(head, ' ') != "HEAD", true);
    else if (head.size() > MaxHead)
        reply(socket, plain(431), true, false);
}

HttpEndpoint::Response HttpEndpoint::answer(const QByteArray& head) const
{
    const QByteArray line = before(head, '\n').trimmed();
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || !isMethod(words[0]) || !words[1].startsWith('/') ||
        !words[2].startsWith("HTTP/1."))
        return plain(400);
    if (words[0] != "GET" && words[0] != "HEAD")
        return plain(405);
    Response response = m_handler(before(words[1], '?'));
    return response.status == 404 ? plain(404) : response;
}

void HttpEndpoint::reply(QTcpSocket* socket, const Response& response, bool withBody, bool close)
{
    m_connections[socket].answered = true;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                     reason(response.status) + "\r\nContent-Type: " + response.contentType +
                     "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                     "\r\nCache-Control: no-store\r\nConnection: close\r\n";
    if (response.status == 405)
        out += "Allow: GET, HEAD\r\n";
    out += "\r\n";
    if (withBody)
        out += response.body;
    socket->write(out);
    if (close)
        socket->disconnectFromHost();
}

void HttpEndpoint::drop(QTcpSocket* socket)
{
    if (!m_connections.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
