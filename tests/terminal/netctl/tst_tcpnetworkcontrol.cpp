#include "terminal/netctl/framesplitter.h"
#include "terminal/netctl/tcpnetworkcontrol.h"
#include "terminal/terminaltable.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

using Bytes = QList<QByteArray>;

// Terminal 1 listens on 127.0.0.11 at a port of its own; terminal 7 is at 127.0.0.12, an unused
// slot at 127.0.0.13, and two entries share 127.0.0.14. The control's events become texts.
class TestTcpNetworkControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_terminal.close();
        QVERIFY(m_terminal.listen(QHostAddress(u"127.0.0.11"_s)));
        m_first = u"127.0.0.11:%1"_s.arg(m_terminal.serverPort());
        m_table.NumTerminale = {u"1"_s, u"7"_s, u"0"_s, u"3"_s, u"4"_s};
        m_table.IPTerminale = {m_first, u"127.0.0.12"_s, u"127.0.0.13"_s, u"127.0.0.14:1"_s,
                               u"127.0.0.14:2"_s};
        m_control = std::make_unique<TcpNetworkControl>(m_table, TcpNetworkControl::Ports{0, 8499});
        const auto record = [this](const QString& kind) {
            return [this, kind](const auto&... args) {
                m_events << (QStringList{kind} << ... << QVariant::fromValue(args).toString())
                                .join(u' ');
            };
        };
        connect(m_control.get(), &NetworkControl::OnConnect, this, record(u"connect"_s));
        connect(m_control.get(), &NetworkControl::OnDataArrival, this, record(u"data"_s));
        connect(m_control.get(), &NetworkControl::OnStateChange, this, record(u"state"_s));
        connect(m_control.get(), &NetworkControl::report, this, record(u"report"_s));
        m_events.clear();
        QCOMPARE(m_control->StartService(), qint16(0));
    }

    // Messages end at LF, a CR before it dropped; one over 4096 bytes is discarded, noted "-".
    void framesSplitAtLineEnds_data()
    {
        QTest::addColumn<Bytes>("chunks");
        QTest::addColumn<Bytes>("messages");
        const QByteArray limit(FrameSplitter::MaxMessage, 'a');
        QTest::newRow("across chunks") << Bytes{"a", "bc\r", "\n", "d\n"} << Bytes{"abc", "d"};
        QTest::newRow("CR and NUL inside, empty, no LF yet")
            << Bytes{"a\r\0b\n\n\r\nc"_ba} << Bytes{"a\r\0b"_ba, "", ""};
        QTest::newRow("the limit with CR") << Bytes{limit + "\r\n"} << Bytes{limit};
        QTest::newRow("a byte over, then on") << Bytes{limit + "b\nok\n"} << Bytes{"ok", "-"};
    }

    void framesSplitAtLineEnds()
    {
        QFETCH(Bytes, chunks);
        QFETCH(Bytes, messages);
        FrameSplitter splitter;
        Bytes split;
        for (const QByteArray& chunk : chunks) {
            const FrameSplitter::Result result = splitter.feed(chunk);
            split += result.messages + Bytes(result.discarded, "-");
        }
        QCOMPARE(split, messages);
    }

    void outgoingLinkCarriesLatin1LinesUntilItFails()
    {
        QCOMPARE(open(m_first), qint16(0));
        // A text sent while the link is being established goes out once it is up, cut to length.
        QCOMPARE(send(m_first, u"%E\u000eKBadge Errato\u00ff and more"_s, 17), qint16(0));
        QTRY_VERIFY(m_terminal.hasPendingConnections());
        QTcpSocket* link = m_terminal.nextPendingConnection();
        QTRY_VERIFY(link->canReadLine());
        QCOMPARE(link->readAll(), QByteArray("%E\x0eKBadge Errato\xff\n"));
        link->write("\x02qualit\xe0\x03\n");
        QTRY_COMPARE(m_events, (QStringList{u"connect "_s + m_first,
                                            u"data %1 \u0002qualit\u00e0\u0003 1"_s.arg(m_first)}));

        // Terminal 2 on the same host, told apart by its port: one calling in from there is
        // taken for it, the entry without a link.
        m_table.NumTerminale[5] = u"2"_s;
        m_table.IPTerminale[5] = u"127.0.0.11:1"_s;
        auto caller = call(u"127.0.0.11"_s);
        QTRY_COMPARE(m_events.value(2), u"state 3 127.0.0.11:1 2"_s);
        QCOMPARE(send(u"127.0.0.11:1"_s, u"to 2"_s), qint16(0));
        QTRY_VERIFY(caller->canReadLine());
        QCOMPARE(caller->readAll(), QByteArray("to 2\n"));

        // Terminal 1 hangs up and stops listening: the next link fails, its waiting text with it,
        // and the pass after tries again.
        link->close();
        m_terminal.close();
        QTRY_COMPARE(m_events.value(3), u"state 0 %1 1"_s.arg(m_first));
        QCOMPARE(open(m_first), qint16(0));
        QCOMPARE(send(m_first, u"%XI"_s), qint16(0));
        QTRY_COMPARE(m_events.size(), 5);
        QCOMPARE(open(m_first), qint16(0));
        const QString failed =
            u"report Collegamento con %1 non riuscito: Connection refused"_s.arg(m_first);
        QTRY_COMPARE(m_events.mid(4),
                     (QStringList{failed + u" (1 messaggi non inviati)"_s, failed}));
    }

    void callingInWhileLinkOpensLeavesOneLink()
    {
        QCOMPARE(open(m_first), qint16(0));
        auto callingIn = call(u"127.0.0.11"_s);
        QVERIFY(callingIn->waitForConnected(5000));
        QTest::qWait(50);
        QCOMPARE(m_events, QStringList{u"connect "_s + m_first});
        // Whichever connected first, the newest serves, the other is closed: texts arrive once.
        QCOMPARE(send(m_first, u"%XI"_s), qint16(0));
        QTRY_VERIFY(m_terminal.hasPendingConnections());
        QTcpSocket* link = m_terminal.nextPendingConnection();
        QTRY_COMPARE(link->state(), QAbstractSocket::UnconnectedState);
        QTRY_VERIFY(callingIn->canReadLine());
        QCOMPARE(callingIn->readAll() + link->readAll(), QByteArray("%XI\n"));
        // Opened again, the link that is up announces itself without a second connection.
        QCOMPARE(open(m_first), qint16(0));
        QTRY_COMPARE(m_events.size(), 2);
        QTest::qWait(50);
        QVERIFY(!m_terminal.hasPendingConnections());
    }

    void callersAreCheckedAndServedUntilStopped()
    {
        auto terminal = call(u"127.0.0.12"_s);
        terminal->write(QByteArray(5000, '\xfe') + "\n0007TRAX\n");
        QTRY_COMPARE(m_events.size(), 3);
        // Not in the table, an unused slot, and a host that two entries without a link share.
        for (const QString& from : {u"127.0.0.99"_s, u"127.0.0.13"_s, u"127.0.0.14"_s}) {
            auto rogue = call(from);
            rogue->write("\x02garbage\n");
            QTRY_COMPARE(rogue->state(), QAbstractSocket::UnconnectedState);
        }
        const QString refused = u"report Connessione rifiutata da 127.0.0.%1: "_s;
        const QString absent = u"indirizzo non presente nella tabella terminali"_s;
        QCOMPARE(m_events,
                 (QStringList{u"state 3 127.0.0.12 7"_s,
                              u"report Messaggio di 127.0.0.12 oltre 4096 byte scartato"_s,
                              u"data 127.0.0.12 0007TRAX 7"_s, refused.arg(99) + absent,
                              refused.arg(13) + absent,
                              refused.arg(14) + u"l'indirizzo \u00e8 di pi\u00f9 terminali "
                                                u"della tabella, e non uno solo di loro "
                                                u"\u00e8 senza collegamento"_s}));

        // Texts the wire cannot carry.
        QCOMPARE(open(u"not an address"_s), qint16(NetworkControl::BadAddress));
        QCOMPARE(open(u"127.0.0.12:99999"_s), qint16(NetworkControl::BadAddress));
        QCOMPARE(send(u"127.0.0.99"_s, u"x"_s), qint16(NetworkControl::NoLink));
        QCOMPARE(send(u"127.0.0.12"_s, u"a\nb"_s), qint16(NetworkControl::BadText));
        QCOMPARE(send(u"127.0.0.12"_s, QString(4097, u'x')), qint16(NetworkControl::BadText));
        QCOMPARE(m_events.last(), u"report Testo per 127.0.0.12 non inviato: contiene un a capo "
                                  u"o supera 4096 byte"_s);
        QCOMPARE(send(u"127.0.0.12"_s, QString(4096, u'x')), qint16(0));
        QTRY_VERIFY(terminal->canReadLine());
        QCOMPARE(terminal->readAll(), QByteArray(4096, 'x') + '\n');

        // A stop closes the links without an event; it takes no links until started again.
        m_events.clear();
        QCOMPARE(m_control->StopService(), qint16(0));
        QCOMPARE(m_control->StopService(), qint16(NetworkControl::AlreadyStopped));
        QTRY_COMPARE(terminal->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(open(u"127.0.0.12"_s), qint16(NetworkControl::ServiceStopped));
        QCOMPARE(m_control->StartService(), qint16(0));
        auto again = call(u"127.0.0.12"_s);
        QTRY_COMPARE(m_events, QStringList{u"state 3 127.0.0.12 7"_s});

        // With its port taken the service still runs: links to the terminals open.
        TcpNetworkControl second(m_table, {m_control->listeningPort(), 8499});
        QCOMPARE(second.StartService(), qint16(NetworkControl::ListenFailed));
        QCOMPARE(second.OpenLink(m_first, u"X"_s, m_channel), qint16(0));
    }

private:
    qint16 open(const QString& address) { return m_control->OpenLink(address, u"X"_s, m_channel); }
    // The terminal number plays no part in sending; a length of -1 sends the whole text.
    qint16 send(const QString& address, const QString& text, qint16 length = -1)
    {
        return m_control->SendText(address, 1, text, length);
    }

    // A terminal calling the server from its own loopback address.
    std::unique_ptr<QTcpSocket> call(const QString& from)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(from));
        socket->connectToHost(QHostAddress::LocalHost, m_control->listeningPort());
        return socket;
    }

    TerminalTable m_table;
    QTcpServer m_terminal;
    QString m_first; // terminal 1's address
    std::unique_ptr<TcpNetworkControl> m_control;
    QStringList m_events;
    qint16 m_channel = -1;
};

QTEST_GUILESS_MAIN(TestTcpNetworkControl)
#include "tst_tcpnetworkcontrol.moc"
