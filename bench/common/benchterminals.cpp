#include "benchterminals.h"

#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

BenchTerminals::BenchTerminals(int count, int firstNumber)
{
    m_clock.start();
    for (int i = 0; i < count; ++i) {
        auto terminal = std::make_unique<Terminal>();
        terminal->number = firstNumber + i;
        terminal->address = u"127.0.0.%1"_s.arg(10 + terminal->number);
        terminal->listener = new QTcpServer(this);
        if (!terminal->listener->listen(QHostAddress(terminal->address), 0))
            qFatal("cannot listen on %s", qPrintable(terminal->address));
        Terminal* t = terminal.get();
        connect(t->listener, &QTcpServer::newConnection, this, [this, t, i] {
            while (QTcpSocket* socket = t->listener->nextPendingConnection()) {
                if (t->link)
                    t->link->deleteLater();
                t->link = socket;
                t->partial.clear();
                connect(socket, &QTcpSocket::readyRead, this, [this, t, i] { readFrom(*t, i); });
            }
        });
        m_terminals.push_back(std::move(terminal));
    }
}

BenchTerminals::~BenchTerminals() = default;

QList<QStringList> BenchTerminals::table() const
{
    QList<QStringList> table;
    for (const auto& t : m_terminals)
        table.append({QString::number(t->number),
                      t->address + u':' + QString::number(t->listener->serverPort())});
    return table;
}

int BenchTerminals::linksUp() const
{
    int up = 0;
    for (const auto& t : m_terminals)
        up += t->link && t->link->state() == QAbstractSocket::ConnectedState;
    return up;
}

void BenchTerminals::send(int index, const QString& record)
{
    Terminal& t = *m_terminals[size_t(index)];
    t.sentAt.push_back(m_clock.nsecsElapsed());
    t.link->write(record.toLatin1() + '\n');
}

qsizetype BenchTerminals::waiting(int index) const
{
    return qsizetype(m_terminals[size_t(index)]->sentAt.size());
}

void BenchTerminals::clearFigures()
{
    m_latencies.clear();
    m_confirmed = 0;
    m_refused = 0;
}

void BenchTerminals::readFrom(Terminal& t, int index)
{
    t.partial += t.link->readAll();
    qsizetype end;
    while ((end = t.partial.indexOf('\n')) >= 0) {
        const QByteArray text = t.partial.left(end);
        t.partial.remove(0, end + 1);
        if (text == "DIR PASSAGGI") {
            t.link->write("DIR PASSAGGI ?*\n");
        } else if (text.startsWith("%E") && !t.sentAt.empty()) {
            m_latencies.append(double(m_clock.nsecsElapsed() - t.sentAt.front()) / 1e6);
            t.sentAt.pop_front();
            if (text.contains("KTessera n."))
                ++m_confirmed;
            else
                ++m_refused;
            Q_EMIT answered(index);
        }
    }
}
