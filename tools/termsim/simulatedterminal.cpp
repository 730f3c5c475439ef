#include "simulatedterminal.h"

#include <QFile>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Control characters and character 255 shown by number, so display texts
// and records read plainly: "%E<14>KBadge Errato<255>".
QString readable(const QString& text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() >= 127)
            shown += u'<' + QString::number(c.unicode()) + u'>';
        else
            shown += c;
    }
    return shown;
}

QStringList storedRecords(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList records;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray record = line.trimmed();
        if (!record.isEmpty())
            records.append(QString::fromLatin1(record));
    }
    return records;
}

} // namespace

SimulatedTerminal::SimulatedTerminal(const QString& address, qint16 number,
                                     const QString& transitFile, std::optional<Server> server,
                                     QTextStream& out, QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_number(number)
    , m_transitFile(transitFile)
    , m_serverAddress(server)
    , m_out(out)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &SimulatedTerminal::accept);
}

// Links die with their listener; their handlers must not run into a half-destroyed terminal.
SimulatedTerminal::~SimulatedTerminal()
{
    for (QTcpSocket* socket : m_listener.findChildren<QTcpSocket*>())
        socket->disconnect(this);
    for (QTcpSocket* socket : findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

bool SimulatedTerminal::listen(quint16 port, QString& error)
{
    if (!m_listener.listen(QHostAddress(m_address), port)) {
        error = u"%1: cannot listen on port %2: %3"_s.arg(m_address, QString::number(port),
                                                          m_listener.errorString());
        return false;
    }
    m_port = m_listener.serverPort();
    print(u"terminal %1 listening on port %2"_s.arg(QString::number(m_number),
                                                    QString::number(m_port)));
    return true;
}

bool SimulatedTerminal::setPowered(bool on, QString& error)
{
    if (on)
        return m_listener.isListening() || listen(m_port, error);
    m_listener.close();
    if (m_link) {
        m_link->disconnect(this);
        m_link->abort();
        m_link->deleteLater();
    }
    m_waiting.clear();
    print(u"switched off"_s);
    return true;
}

void SimulatedTerminal::sendUnasked(const QString& text)
{
    if (m_link && m_link->state() == QAbstractSocket::ConnectedState) {
        write(text);
        return;
    }
    m_waiting.append(text);
    if (m_link)
        return;
    if (!m_serverAddress) {
        print(u"no link: the text waits for the server to connect"_s);
        return;
    }
    auto* socket = new QTcpSocket(this);
    socket->bind(QHostAddress(m_address));
    attach(socket);
    socket->connectToHost(m_serverAddress->address, m_serverAddress->port);
}

// A locked terminal takes no reads: what is stored meanwhile goes to the
// file once it is unlocked, after the listing and its deletion.
void SimulatedTerminal::storeRecord(const QString& record)
{
    m_held.append(record);
    if (!m_locked)
        storeHeld();
}

void SimulatedTerminal::storeHeld()
{
    if (m_held.isEmpty())
        return;
    QFile file(m_transitFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        print(u"cannot write %1: %2"_s.arg(m_transitFile, file.errorString()));
        return;
    }
    for (const QString& record : std::exchange(m_held, {})) {
        file.write(record.mid(1, record.size() - 2).toLatin1() + '\n');
        print(u"stored %1"_s.arg(readable(record)));
    }
}

void SimulatedTerminal::accept()
{
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        if (m_link) {
            m_link->disconnect(this);
            m_link->abort();
            m_link->deleteLater();
        }
        attach(socket);
        print(u"link up"_s);
        onReadyRead();
    }
}

void SimulatedTerminal::attach(QTcpSocket* socket)
{
    m_link = socket;
    m_frames = FrameSplitter();
    m_silent = false;
    m_locked = false;
    storeHeld();
    connect(socket, &QTcpSocket::readyRead, this, &SimulatedTerminal::onReadyRead);
    connect(socket, &QTcpSocket::connected, this, [this] {
        print(u"link up"_s);
        const QList<QString> waiting = std::exchange(m_waiting, {});
        for (const QString& text : waiting)
            write(text);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (m_link == socket) {
            print(u"link down"_s);
            m_link = nullptr;
        }
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (m_link == socket && socket->state() != QAbstractSocket::ConnectedState) {
            print(u"cannot reach the server: "_s + socket->errorString());
            m_link = nullptr;
            socket->deleteLater();
        }
    });
    if (socket->state() == QAbstractSocket::ConnectedState) {
        const QList<QString> waiting = std::exchange(m_waiting, {});
        for (const QString& text : waiting)
            write(text);
    }
}

void SimulatedTerminal::onReadyRead()
{
    if (!m_link)
        return;
    const FrameSplitter::Result frames = m_frames.feed(m_link->readAll());
    for (const QByteArray& frame : frames.messages) {
        const QString message = QString::fromLatin1(frame);
        print(u"<- "_s + readable(message));
        if (message.startsWith(u"%E"_s) && message.size() >= 4)
            print(u"display: "_s + message.mid(3, message.size() - 4));
        answer(message);
        if (!m_link)
            return;
    }
}

void SimulatedTerminal::answer(const QString& message)
{
    if (m_silent) {
        m_silent = message != u"OFFLINE"_s;
        return;
    }
    int value = 0;
    if (message == u"DIR PASSAGGI"_s) {
        const qint64 size = QFile(m_transitFile).size();
        const QString reply = size > 0 ? u"DIR PASSAGGI %1"_s.arg(size) : u"DIR PASSAGGI ?*"_s;
        if (takeFault(u"late-dir"_s, &value))
            QTimer::singleShot(value, this, [this, reply] { write(reply); });
        else
            write(reply);
    } else if (message == u"CONSIDLE"_s) {
        m_locked = true;
        if (takeFault(u"silent"_s))
            m_silent = true;
        else
            write(u"CONSIDLE"_s);
    } else if (message == u"TYPE PASSAGGI"_s) {
        list();
    } else if (message == u"DEL PASSAGGI"_s) {
        if (takeFault(u"keep-del"_s)) {
            print(u"file kept, no answer"_s);
            return;
        }
        QFile::remove(m_transitFile);
        if (takeFault(u"lose-del"_s))
            print(u"file deleted, answer lost"_s);
        else
            write(u"DEL PASSAGGI"_s);
    } else if (message == u"OFFLINE"_s) {
        m_locked = false;
        write(u"OFFLINE"_s);
        storeHeld();
    }
}

void SimulatedTerminal::list()
{
    const QStringList records = storedRecords(m_transitFile);
    if (!m_locked || records.isEmpty() || takeFault(u"refuse"_s)) {
        write(u"TYPE PASSAGGI ?*"_s);
        return;
    }
    const bool drop = takeFault(u"drop-listing"_s);
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (drop && i == records.size() / 2) {
            print(u"dropping the link mid-listing"_s);
            m_link->abort();
            return;
        }
        write(QChar(2) + records[i] + QChar(3));
    }
    int offset = 0;
    takeFault(u"wrong-count"_s, &offset);
    write(QChar(4) + QString::number(records.size() + offset));
}

bool SimulatedTerminal::addFault(const QString& name, int value)
{
    static const QStringList names{u"late-dir"_s, u"lose-del"_s, u"keep-del"_s,   u"drop-listing"_s,
                                   u"silent"_s,   u"refuse"_s,   u"wrong-count"_s};
    if (!names.contains(name))
        return false;
    m_faults[name] = value;
    print(u"fault %1 %2 set"_s.arg(name).arg(value));
    return true;
}

bool SimulatedTerminal::takeFault(const QString& name, int* value)
{
    const auto it = m_faults.constFind(name);
    if (it == m_faults.cend())
        return false;
    if (value)
        *value = it.value();
    m_faults.erase(it);
    return true;
}

void SimulatedTerminal::write(const QString& text)
{
    if (!m_link)
        return;
    m_link->write(text.toLatin1() + '\n');
    print(u"-> "_s + readable(text));
}

void SimulatedTerminal::print(const QString& line)
{
    m_out << m_address << ' ' << line << '\n';
    m_out.flush();
}
