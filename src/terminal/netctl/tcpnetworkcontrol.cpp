#include "terminal/netctl/tcpnetworkcontrol.h"

#include "terminal/netctl/endpoint.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QString hostOf(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

TcpNetworkControl::TcpNetworkControl(const LinkDirectory& directory, Ports ports, QObject* parent)
    : NetworkControl(parent)
    , m_directory(directory)
    , m_ports(ports)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpNetworkControl::acceptConnections);
}

TcpNetworkControl::~TcpNetworkControl()
{
    StopService();
}

qint16 TcpNetworkControl::StartService()
{
    m_running = true;
    if (m_server.isListening())
        return Ok;
    // Links to the terminals work even when the port is taken, so the
    // service runs; the operator learns why terminals cannot call in.
    if (!m_server.listen(QHostAddress::Any, m_ports.listen)) {
        Q_EMIT failure(u"Servizio di rete: impossibile ascoltare sulla porta %1: %2"_s.arg(
            QString::number(m_ports.listen), m_server.errorString()));
        return ListenFailed;
    }
    return Ok;
}

qint16 TcpNetworkControl::StopService()
{
    if (!m_running)
        return AlreadyStopped;
    m_running = false;
    m_server.close();
    auto links = std::move(m_links);
    m_links.clear();
    for (auto& [host, link] : links)
        release(link.socket);
    return Ok;
}

void TcpNetworkControl::LocalAddress(QString& Address)
{
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
            Address = address.toString();
            return;
        }
    }
    Address = u"127.0.0.1"_s;
}

qint16 TcpNetworkControl::OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel)
{
    Q_UNUSED(Mode);
    Channel = 0;
    if (!m_running)
        return ServiceStopped;
    const auto endpoint = endpointOf(IPTer);
    if (!endpoint)
        return BadAddress;
    const QString key = *keyOf(IPTer);
    if (auto it = m_links.find(key); it != m_links.end()) {
        // Every connection pass rebuilds the port list, so a standing link
        // announces itself again.
        if (it->second.up)
            raiseConnectLater(key);
        return Ok;
    }
    auto* socket = new QTcpSocket(this);
    const auto entry = lookUp(key);
    m_links.emplace(key, Link{IPTer, entry ? entry->number : qint16(0), socket, {}, {}, false});
    watch(socket);
    socket->connectToHost(endpoint->host, endpoint->port);
    return Ok;
}

qint16 TcpNetworkControl::SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                                   qint16 Length)
{
    Q_UNUSED(NumTer);
    const auto key = keyOf(IPTer);
    if (!key)
        return BadAddress;
    const auto it = m_links.find(*key);
    if (it == m_links.end())
        return NoLink;
    const QByteArray bytes = (Length >= 0 ? Text.left(Length) : Text).toLatin1();
    if (bytes.contains('\n') || bytes.size() > FrameSplitter::MaxMessage) {
        Q_EMIT report(u"Testo per %1 non inviato: contiene un a capo o supera %2 byte"_s.arg(
            IPTer, QString::number(FrameSplitter::MaxMessage)));
        return BadText;
    }
    Link& link = it->second;
    if (!link.up) {
        if (link.pending.size() >= MaxPendingTexts)
            return QueueFull;
        link.pending.append(bytes + '\n');
        return Ok;
    }
    link.socket->write(bytes + '\n');
    return Ok;
}

qint16 TcpNetworkControl::LinkType(const QString& IPTer)
{
    Q_UNUSED(IPTer);
    return 2;
}

quint16 TcpNetworkControl::listeningPort() const
{
    return m_server.serverPort();
}

std::optional<LinkDirectory::Entry> TcpNetworkControl::lookUp(const QString& key) const
{
    for (const LinkDirectory::Entry& entry : m_directory.linkable()) {
        if (keyOf(entry.IPTer) == key)
            return entry;
    }
    return std::nullopt;
}

std::optional<QString> TcpNetworkControl::callerKey(const QString& host, bool& shared) const
{
    QStringList candidates;
    QStringList unlinked;
    for (const LinkDirectory::Entry& entry : m_directory.linkable()) {
        const auto endpoint = endpointOf(entry.IPTer);
        if (!endpoint || endpoint->host != host)
            continue;
        const QString key = *keyOf(entry.IPTer);
        if (candidates.contains(key))
            continue;
        candidates.append(key);
        if (m_links.find(key) == m_links.end())
            unlinked.append(key);
    }
    shared = candidates.size() > 1;
    if (candidates.size() == 1)
        return candidates.first();
    if (unlinked.size() == 1)
        return unlinked.first();
    return std::nullopt;
}

// Every message looks its sender up in the directory, whose texts rarely change:
// each text is parsed once.
std::optional<Endpoint> TcpNetworkControl::endpointOf(const QString& address) const
{
    if (const auto known = m_endpoints.constFind(address); known != m_endpoints.cend())
        return *known;
    if (m_endpoints.size() >= 256) // texts edited over a long run
        m_endpoints.clear();
    const auto endpoint = Endpoint::parse(address, m_ports.terminal);
    m_endpoints.insert(address, endpoint);
    return endpoint;
}

std::optional<QString> TcpNetworkControl::keyOf(const QString& address) const
{
    const auto endpoint = endpointOf(address);
    if (!endpoint)
        return std::nullopt;
    return endpoint->host + u':' + QString::number(endpoint->port);
}

TcpNetworkControl::Link* TcpNetworkControl::linkOf(const QTcpSocket* socket, QString* key)
{
    for (auto& [linkKey, link] : m_links) {
        if (link.socket == socket) {
            if (key)
                *key = linkKey;
            return &link;
        }
    }
    return nullptr;
}

void TcpNetworkControl::acceptConnections()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        accept(socket);
}

void TcpNetworkControl::accept(QTcpSocket* socket)
{
    const QString host = hostOf(socket->peerAddress());
    bool shared = false;
    const auto key = callerKey(host, shared);
    const auto entry = key ? lookUp(*key) : std::nullopt;
    if (!entry) {
        Q_EMIT report(
            shared
                ? u"Connessione rifiutata da %1: l'indirizzo \u00e8 di pi\u00f9 terminali della "
                  "tabella, e non uno solo di loro \u00e8 senza collegamento"_s.arg(host)
                : u"Connessione rifiutata da %1: indirizzo non presente nella tabella terminali"_s
                      .arg(host));
        socket->abort();
        socket->deleteLater();
        return;
    }
    watch(socket);
    const auto it = m_links.find(*key);
    if (it == m_links.end()) {
        m_links.emplace(*key, Link{entry->IPTer, entry->number, socket, {}, {}, true});
        Q_EMIT OnStateChange(3, entry->IPTer, entry->number);
        onReadyRead(socket);
        return;
    }
    // One link per terminal: the newest connection of a terminal is the live
    // one (a terminal that restarts calls in while its old link lingers).
    Link& link = it->second;
    QTcpSocket* old = link.socket;
    const bool wasUp = link.up;
    link.socket = socket;
    link.frames = FrameSplitter();
    link.up = true;
    release(old);
    flushPending(link);
    if (!wasUp)
        Q_EMIT OnConnect(link.IPTer);
    onReadyRead(socket);
}

void TcpNetworkControl::watch(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::connected, this, [this, socket] { onConnected(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onGone(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { onGone(socket); });
}

void TcpNetworkControl::onConnected(QTcpSocket* socket)
{
    Link* link = linkOf(socket);
    if (!link)
        return;
    link->up = true;
    flushPending(*link);
    Q_EMIT OnConnect(link->IPTer);
}

void TcpNetworkControl::onReadyRead(QTcpSocket* socket)
{
    QString key;
    Link* link = linkOf(socket, &key);
    if (!link)
        return;
    const FrameSplitter::Result frames = link->frames.feed(socket->readAll());
    const QString IPTer = link->IPTer;
    if (frames.discarded > 0)
        Q_EMIT report(u"Messaggio di %1 oltre %2 byte scartato"_s.arg(
            IPTer, QString::number(FrameSplitter::MaxMessage)));
    for (const QByteArray& message : frames.messages) {
        // The number is looked up at each message: the table may have been edited.
        const auto entry = lookUp(key);
        Q_EMIT OnDataArrival(IPTer, QString::fromLatin1(message),
                             entry ? entry->number : link->number);
        // A handler may have stopped the service or replaced the link.
        link = linkOf(socket);
        if (!link)
            return;
    }
}

void TcpNetworkControl::onGone(QTcpSocket* socket)
{
    QString key;
    Link* link = linkOf(socket, &key);
    if (!link)
        return;
    const Link gone = std::move(*link);
    const QString reason = socket->errorString();
    m_links.erase(key);
    release(socket);
    if (gone.up) {
        Q_EMIT OnStateChange(0, gone.IPTer, gone.number);
        return;
    }
    Q_EMIT report(u"Collegamento con %1 non riuscito: %2"_s.arg(gone.IPTer, reason) +
                  (gone.pending.isEmpty() ? QString()
                                          : u" (%1 messaggi non inviati)"_s.arg(
                                                QString::number(gone.pending.size()))));
}

void TcpNetworkControl::raiseConnectLater(const QString& key)
{
    QTimer::singleShot(0, this, [this, key] {
        const auto it = m_links.find(key);
        if (it != m_links.end() && it->second.up)
            Q_EMIT OnConnect(it->second.IPTer);
    });
}

void TcpNetworkControl::release(QTcpSocket* socket)
{
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void TcpNetworkControl::flushPending(Link& link)
{
    for (const QByteArray& bytes : std::as_const(link.pending))
        link.socket->write(bytes);
    link.pending.clear();
}
