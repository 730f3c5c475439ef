#include "terminal/netctl/tcpnetworkcontrol.h"
#include "terminal/terminaltable.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A terminal that the server calls: a listener on its own loopback address.
struct CalledTerminal
{
    QTcpServer server;
    QTcpSocket* link = nullptr;

    bool listen(const QString& address) { return server.listen(QHostAddress(address), 0); }
    bool accept()
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(5000))
            return false;
        link = server.nextPendingConnection();
        return link != nullptr;
    }
    QByteArray readLine()
    {
        QByteArray received;
        QElapsedTimer timer;
        timer.start();
        while (!received.contains('\n') && timer.elapsed() < 5000) {
            QTest::qWait(5);
            received += link->readAll();
        }
        return received;
    }
};

// A terminal that calls the server from its own loopback address.
std::unique_ptr<QTcpSocket> callFrom(const QString& address, quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(address));
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

} // namespace

class TestTcpNetworkControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void outgoingLinkCarriesFramedTextsBothWays();
    void openLinkReusesStandingLinkAndAnnouncesIt();
    void terminalCallingInRaisesStateChanges();
    void callingInWhileLinkOpensLeavesOneLink();
    void terminalsSharingAHostKeepTheirOwnLinks();
    void unknownPeerIsRefusedOthersUndisturbed();
    void oversizeMessageIsDroppedLinkSurvives();
    void refusesWhatTheWireCannotCarry();
    void failedLinkDropsQueuedTextsWithLogLine();
    void stopServiceTwiceAndStartAgain();
    void takenListenPortIsReportedToOperator();

private:
    void makeControl();
    // Terminal 1 listens on 127.0.0.11 at a port of its own, which the table names.
    void makeControlCalling(CalledTerminal& terminal);

    TerminalTable m_table;
    std::unique_ptr<TcpNetworkControl> m_control;
};

void TestTcpNetworkControl::init()
{
    m_table = TerminalTable();
    m_table.NumTerminale[0] = u"1"_s;
    m_table.IPTerminale[0] = u"127.0.0.11"_s;
    m_table.NumTerminale[1] = u"7"_s;
    m_table.IPTerminale[1] = u"127.0.0.12"_s;
    m_table.NumTerminale[2] = u"0"_s; // an unused slot holds no link
    m_table.IPTerminale[2] = u"127.0.0.13"_s;
}

void TestTcpNetworkControl::cleanup()
{
    m_control.reset();
}

void TestTcpNetworkControl::makeControl()
{
    m_control = std::make_unique<TcpNetworkControl>(m_table, TcpNetworkControl::Ports{0, 8499});
    QCOMPARE(m_control->StartService(), qint16(0));
    QVERIFY(m_control->listeningPort() != 0);
}

void TestTcpNetworkControl::makeControlCalling(CalledTerminal& terminal)
{
    QVERIFY(terminal.listen(u"127.0.0.11"_s));
    m_table.IPTerminale[0] = u"127.0.0.11:%1"_s.arg(terminal.server.serverPort());
    makeControl();
}

void TestTcpNetworkControl::outgoingLinkCarriesFramedTextsBothWays()
{
    CalledTerminal terminal;
    makeControlCalling(terminal);
    QSignalSpy connects(m_control.get(), &NetworkControl::OnConnect);
    QSignalSpy data(m_control.get(), &NetworkControl::OnDataArrival);

    qint16 channel = -1;
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    // Texts sent while the link is being established go out once it is up.
    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"%XI"_s, 3), qint16(0));
    QVERIFY(terminal.accept());
    QTRY_COMPARE(connects.size(), 1);
    QCOMPARE(connects[0][0].toString(), m_table.IPTerminale[0]);
    QCOMPARE(terminal.readLine(), QByteArray("%XI\n"));

    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"%E\u000eKBadge Errato\u00ff"_s, 17),
             qint16(0));
    QCOMPARE(terminal.readLine(), QByteArray("%E\x0eKBadge Errato\xff\n"));
    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"DIR PASSAGGI and more"_s, 12),
             qint16(0));
    QCOMPARE(terminal.readLine(), QByteArray("DIR PASSAGGI\n"));

    terminal.link->write("DIR PAS");
    terminal.link->flush();
    QTest::qWait(20);
    terminal.link->write("SAGGI ?*\r\n\x02qualit\xe0\x03\n");
    QTRY_COMPARE(data.size(), 2);
    QCOMPARE(data[0][0].toString(), m_table.IPTerminale[0]);
    QCOMPARE(data[0][1].toString(), u"DIR PASSAGGI ?*"_s);
    QCOMPARE(data[0][2].value<qint16>(), qint16(1));
    QCOMPARE(data[1][1].toString(), u"\u0002qualit\u00e0\u0003"_s);
    QCOMPARE(m_control->LinkType(m_table.IPTerminale[0]), qint16(2));
}

void TestTcpNetworkControl::openLinkReusesStandingLinkAndAnnouncesIt()
{
    CalledTerminal terminal;
    makeControlCalling(terminal);
    QSignalSpy connects(m_control.get(), &NetworkControl::OnConnect);
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    QVERIFY(terminal.accept());
    QTRY_COMPARE(connects.size(), 1);

    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    QTRY_COMPARE(connects.size(), 2);
    QTest::qWait(50);
    QVERIFY(!terminal.server.hasPendingConnections());
}

void TestTcpNetworkControl::terminalCallingInRaisesStateChanges()
{
    makeControl();
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);
    QSignalSpy connects(m_control.get(), &NetworkControl::OnConnect);
    QSignalSpy data(m_control.get(), &NetworkControl::OnDataArrival);

    auto terminal = callFrom(u"127.0.0.12"_s, m_control->listeningPort());
    QTRY_COMPARE(states.size(), 1);
    QCOMPARE(states[0][0].value<qint16>(), qint16(3));
    QCOMPARE(states[0][1].toString(), u"127.0.0.12"_s);
    QCOMPARE(states[0][2].value<qint16>(), qint16(7));

    terminal->write("0007TRAX\n");
    QTRY_COMPARE(data.size(), 1);
    QCOMPARE(data[0][2].value<qint16>(), qint16(7));

    // The server's own OpenLink on that address reuses the link the terminal made.
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(u"127.0.0.12"_s, u"X"_s, channel), qint16(0));
    QTRY_COMPARE(connects.size(), 1);
    QCOMPARE(m_control->SendText(u"127.0.0.12"_s, 7, u"%XI"_s, 3), qint16(0));
    QTRY_VERIFY(terminal->bytesAvailable() >= 4);
    QCOMPARE(terminal->readAll(), QByteArray("%XI\n"));

    // A restarted terminal calls in again: the new connection takes over.
    auto restarted = callFrom(u"127.0.0.12"_s, m_control->listeningPort());
    QTRY_COMPARE(terminal->state(), QAbstractSocket::UnconnectedState);
    restarted->write("after\n");
    QTRY_COMPARE(data.size(), 2);
    QCOMPARE(states.size(), 1);

    restarted->disconnectFromHost();
    QTRY_COMPARE(states.size(), 2);
    QCOMPARE(states[1][0].value<qint16>(), qint16(0));
    QCOMPARE(m_control->SendText(u"127.0.0.12"_s, 7, u"x"_s, 1), qint16(NetworkControl::NoLink));
}

// Two terminals on one host, told apart by their ports: each its own link.
// One calling in is taken for the entry without a link, or refused while
// that is not a single one.
void TestTcpNetworkControl::terminalsSharingAHostKeepTheirOwnLinks()
{
    CalledTerminal first;
    CalledTerminal second;
    QVERIFY(first.listen(u"127.0.0.11"_s) && second.listen(u"127.0.0.11"_s));
    m_table.IPTerminale[0] = u"127.0.0.11:%1"_s.arg(first.server.serverPort());
    m_table.NumTerminale[1] = u"2"_s;
    m_table.IPTerminale[1] = u"127.0.0.11:%1"_s.arg(second.server.serverPort());
    makeControl();
    QSignalSpy reports(m_control.get(), &NetworkControl::report);
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);

    auto ambiguous = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QTRY_COMPARE(reports.size(), 1);
    QVERIFY(reports[0][0].toString().contains(u"di pi\u00f9 terminali"_s));
    QTRY_COMPARE(ambiguous->state(), QAbstractSocket::UnconnectedState);

    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    QVERIFY(first.accept());
    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"to 1"_s, 4), qint16(0));
    QCOMPARE(first.readLine(), QByteArray("to 1\n"));
    auto caller = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QTRY_COMPARE(states.size(), 1);
    QCOMPARE(states[0][1].toString(), m_table.IPTerminale[1]);
    QCOMPARE(states[0][2].value<qint16>(), qint16(2));
    QCOMPARE(m_control->SendText(m_table.IPTerminale[1], 2, u"to 2"_s, 4), qint16(0));
    QTRY_VERIFY(caller->canReadLine());
    QCOMPARE(caller->readAll(), QByteArray("to 2\n"));
    QVERIFY(first.link->readAll().isEmpty());
}

void TestTcpNetworkControl::callingInWhileLinkOpensLeavesOneLink()
{
    CalledTerminal terminal;
    makeControlCalling(terminal);
    QSignalSpy connects(m_control.get(), &NetworkControl::OnConnect);
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    auto callingIn = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QVERIFY(callingIn->waitForConnected(5000));
    QTRY_COMPARE(connects.size(), 1);
    QTest::qWait(50);
    QCOMPARE(connects.size(), 1);
    QCOMPARE(states.size(), 0);

    // Whichever connection won, texts reach the terminal exactly once.
    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"%XI"_s, 3), qint16(0));
    QVERIFY(terminal.accept());
    QByteArray received;
    QTRY_VERIFY((received = callingIn->peek(64) + terminal.link->peek(64)).contains('\n'));
    QTest::qWait(50);
    QCOMPARE(callingIn->readAll() + terminal.link->readAll(), QByteArray("%XI\n"));
}

void TestTcpNetworkControl::unknownPeerIsRefusedOthersUndisturbed()
{
    makeControl();
    QSignalSpy reports(m_control.get(), &NetworkControl::report);
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);
    QSignalSpy data(m_control.get(), &NetworkControl::OnDataArrival);
    auto known = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QTRY_COMPARE(states.size(), 1);

    // Not in the table, in an unused slot, and a caller that never sends.
    for (const QString& address : {u"127.0.0.99"_s, u"127.0.0.13"_s, u"127.0.0.98"_s}) {
        auto rogue = callFrom(address, m_control->listeningPort());
        if (address != u"127.0.0.98"_s)
            rogue->write(QByteArray(1000, '\x01') + "\x02garbage\n");
        QTRY_COMPARE(rogue->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(reports.last()[0].toString().contains(address));
    }
    QCOMPARE(states.size(), 1);
    QCOMPARE(data.size(), 0);

    known->write("still here\n");
    QTRY_COMPARE(data.size(), 1);
    QCOMPARE(data[0][1].toString(), u"still here"_s);
}

void TestTcpNetworkControl::oversizeMessageIsDroppedLinkSurvives()
{
    makeControl();
    QSignalSpy reports(m_control.get(), &NetworkControl::report);
    QSignalSpy data(m_control.get(), &NetworkControl::OnDataArrival);
    auto terminal = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QVERIFY(terminal->waitForConnected(5000));
    terminal->write(QByteArray(1 << 20, '\xfe'));
    terminal->write("\nok\n");
    QTRY_COMPARE(data.size(), 1);
    QCOMPARE(data[0][1].toString(), u"ok"_s);
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports[0][0].toString().contains(u"4096"_s));
}

void TestTcpNetworkControl::refusesWhatTheWireCannotCarry()
{
    makeControl();
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(u"not an address"_s, u"X"_s, channel),
             qint16(NetworkControl::BadAddress));
    QCOMPARE(m_control->OpenLink(u"127.0.0.11:99999"_s, u"X"_s, channel),
             qint16(NetworkControl::BadAddress));
    QCOMPARE(m_control->SendText(u"127.0.0.11"_s, 1, u"x"_s, 1), qint16(NetworkControl::NoLink));

    auto terminal = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);
    QTRY_COMPARE(states.size(), 1);
    QCOMPARE(m_control->SendText(u"127.0.0.11"_s, 1, u"a\nb"_s, 3),
             qint16(NetworkControl::BadText));
    QCOMPARE(m_control->SendText(u"127.0.0.11"_s, 1, QString(5000, u'x'), 5000),
             qint16(NetworkControl::BadText));
}

void TestTcpNetworkControl::failedLinkDropsQueuedTextsWithLogLine()
{
    // A loopback address where nothing listens refuses the connection.
    CalledTerminal closed;
    QVERIFY(closed.listen(u"127.0.0.11"_s));
    const quint16 port = closed.server.serverPort();
    closed.server.close();
    m_table.IPTerminale[0] = u"127.0.0.11:%1"_s.arg(port);
    makeControl();
    QSignalSpy reports(m_control.get(), &NetworkControl::report);
    QSignalSpy connects(m_control.get(), &NetworkControl::OnConnect);
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    QCOMPARE(m_control->SendText(m_table.IPTerminale[0], 1, u"%XI"_s, 3), qint16(0));
    QTRY_COMPARE(reports.size(), 1);
    QVERIFY(reports[0][0].toString().contains(u"1 messaggi non inviati"_s));
    QCOMPARE(connects.size(), 0);
    // The next pass tries again.
    QCOMPARE(m_control->OpenLink(m_table.IPTerminale[0], u"X"_s, channel), qint16(0));
    QTRY_COMPARE(reports.size(), 2);
}

void TestTcpNetworkControl::stopServiceTwiceAndStartAgain()
{
    makeControl();
    auto terminal = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QSignalSpy states(m_control.get(), &NetworkControl::OnStateChange);
    QTRY_COMPARE(states.size(), 1);

    QCOMPARE(m_control->StopService(), qint16(0));
    QCOMPARE(m_control->StopService(), qint16(-1));
    QTRY_COMPARE(terminal->state(), QAbstractSocket::UnconnectedState);
    qint16 channel = 0;
    QCOMPARE(m_control->OpenLink(u"127.0.0.11"_s, u"X"_s, channel),
             qint16(NetworkControl::ServiceStopped));
    QCOMPARE(states.size(), 1); // a stop raises no link events

    QCOMPARE(m_control->StartService(), qint16(0));
    auto again = callFrom(u"127.0.0.11"_s, m_control->listeningPort());
    QTRY_COMPARE(states.size(), 2);
}

void TestTcpNetworkControl::takenListenPortIsReportedToOperator()
{
    makeControl();
    TcpNetworkControl second(m_table, {m_control->listeningPort(), 8499});
    QSignalSpy failures(&second, &NetworkControl::failure);
    QCOMPARE(second.StartService(), qint16(NetworkControl::ListenFailed));
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures[0][0].toString().contains(QString::number(m_control->listeningPort())));
    // Links to terminals still work, so the service counts as running.
    QCOMPARE(second.StopService(), qint16(0));
}

QTEST_GUILESS_MAIN(TestTcpNetworkControl)
#include "tst_tcpnetworkcontrol.moc"
