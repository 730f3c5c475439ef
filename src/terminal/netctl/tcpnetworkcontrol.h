#pragma once

#include "terminal/netctl/endpoint.h"
#include "terminal/netctl/framesplitter.h"
#include "terminal/netctl/linkdirectory.h"
#include "terminal/netctl/networkcontrol.h"

#include <QHash>
#include <QTcpServer>

#include <map>
#include <optional>

class QTcpSocket;

// The network control on plain TCP: LF-framed ISO-8859-1 messages, one link
// per terminal address and port (opened by either side), and only the
// terminals the directory names may hold one. A terminal calling in is known by its address;
// when two entries share it, by the one of them without a link.
class TcpNetworkControl final : public NetworkControl
{
    Q_OBJECT

public:
    struct Ports
    {
        quint16 listen = 8499;
        quint16 terminal = 8499;
    };
    static constexpr qsizetype MaxPendingTexts = 64;

    TcpNetworkControl(const LinkDirectory& directory, Ports ports, QObject* parent = nullptr);
    ~TcpNetworkControl() override;

    qint16 StartService() override;
    qint16 StopService() override;
    void LocalAddress(QString& Address) override;
    qint16 OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel) override;
    qint16 SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                    qint16 Length) override;
    qint16 LinkType(const QString& IPTer) override;
    bool isListening() const override { return m_server.isListening(); }

    quint16 listeningPort() const;

private:
    struct Link
    {
        QString IPTer;
        qint16 number = 0;
        QTcpSocket* socket = nullptr;
        FrameSplitter frames;
        QList<QByteArray> pending;
        bool up = false;
    };
    // The active entry whose address and port make `key`.
    std::optional<LinkDirectory::Entry> lookUp(const QString& key) const;
    // The key of the entry a terminal calling in from `host` stands for;
    // `shared` when the directory names that host more than once.
    std::optional<QString> callerKey(const QString& host, bool& shared) const;
    std::optional<Endpoint> endpointOf(const QString& address) const;
    std::optional<QString> keyOf(const QString& address) const;
    Link* linkOf(const QTcpSocket* socket, QString* key = nullptr);
    void acceptConnections();
    void accept(QTcpSocket* socket);
    void watch(QTcpSocket* socket);
    void onConnected(QTcpSocket* socket);
    void onReadyRead(QTcpSocket* socket);
    void onGone(QTcpSocket* socket);
    void raiseConnectLater(const QString& key);
    void release(QTcpSocket* socket);
    void flushPending(Link& link);

    const LinkDirectory& m_directory;
    Ports m_ports;
    QTcpServer m_server;
    std::map<QString, Link> m_links; // by "host:port"
    bool m_running = false;
    mutable QHash<QString, std::optional<Endpoint>> m_endpoints;
};
