#include "support/faultproxy.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

using Fault = FaultProxy::Fault;

// One side's bytes to the other, as the fault says.
class FaultRelay : public QObject
{
public:
    explicit FaultRelay(quint16 upstreamPort)
        : m_listener(new QTcpServer(this))
        , m_upstreamPort(upstreamPort)
    {
        connect(m_listener, &QTcpServer::newConnection, this, &FaultRelay::accept);
    }

    // The port it listens on: the same one when it listens again.
    quint16 set(Fault fault, int delayMs)
    {
        m_fault = fault;
        m_delayMs = delayMs;
        if (fault == Fault::Reset || fault == Fault::Refuse) {
            for (const QPointer<QTcpSocket>& socket : std::exchange(m_sockets, {}))
                reset(socket);
        }
        if (fault == Fault::Refuse)
            m_listener->close();
        else if (!m_listener->isListening() && m_listener->listen(QHostAddress::LocalHost, m_port))
            m_port = m_listener->serverPort();
        return m_port;
    }

private:
    static void reset(QTcpSocket* socket)
    {
        if (!socket)
            return;
        // No lingering: the peer gets a reset, not an orderly close.
        const linger abortive{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                     sizeof abortive);
        socket->abort();
        socket->deleteLater();
    }

    void accept()
    {
        while (QTcpSocket* client = m_listener->nextPendingConnection()) {
            if (m_fault == Fault::Reset) {
                reset(client);
                continue;
            }
            auto* upstream = new QTcpSocket(this);
            upstream->connectToHost(QHostAddress::LocalHost, m_upstreamPort);
            pipe(client, upstream);
            pipe(upstream, client);
            m_sockets << client << upstream;
        }
    }

    // What `from` receives goes to `to`; when either closes, both do.
    void pipe(QTcpSocket* from, QTcpSocket* to)
    {
        const QPointer<QTcpSocket> target(to);
        connect(from, &QTcpSocket::readyRead, this, [this, from, target] {
            const QByteArray bytes = from->readAll();
            if (m_fault == Fault::Stall || !target)
                return;
            if (m_fault == Fault::Delay)
                QTimer::singleShot(m_delayMs, this, [target, bytes] {
                    if (target)
                        target->write(bytes);
                });
            else
                target->write(bytes);
        });
        connect(from, &QTcpSocket::disconnected, this, [from, target] {
            if (target)
                target->disconnectFromHost();
            from->deleteLater();
        });
    }

    QTcpServer* m_listener;
    quint16 m_upstreamPort;
    quint16 m_port = 0;
    Fault m_fault = Fault::None;
    int m_delayMs = 0;
    QList<QPointer<QTcpSocket>> m_sockets;
};

FaultProxy::FaultProxy(quint16 upstreamPort)
    : m_relay(new FaultRelay(upstreamPort))
{
    m_relay->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_relay, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_relay, [this] { m_port = m_relay->set(Fault::None, 0); }, Qt::BlockingQueuedConnection);
}

FaultProxy::~FaultProxy()
{
    m_thread.quit();
    m_thread.wait();
}

void FaultProxy::set(Fault fault, int delayMs)
{
    QMetaObject::invokeMethod(
        m_relay, [this, fault, delayMs] { m_relay->set(fault, delayMs); },
        Qt::BlockingQueuedConnection);
}
