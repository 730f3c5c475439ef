#include "support/freeport.h"
#include "support/httpclient.h"
#include "support/sitefixture.h"
#include "version.h"

#include <QTcpSocket>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

// The real binary as a service manager runs it, and one site where it links
// to four simulated terminals (1 to 3 on 127.0.0.11-13, 4 sharing 127.0.0.11
// with terminal 1 on a port of its own) and to a fifth that never answers:
// its address, 127.0.0.14, is the hostile one.
class TestTerminalLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpEndsWithItsCodeAndTexts_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: the port the shared site's server holds
        QTest::addColumn<int>("exitCode");          // 0: serving until SIGTERM
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<QString>("error");
        const QString title = u"Parvix (SQL Server) Rev. %1 - 0 porte"_s.arg(Version::Revision);
        QTest::newRow("port taken, then SIGTERM")
            << QStringList{u"--listen-port"_s, u"%1"_s} << 0
            << QStringList{title, u"[err] Servizio di rete: impossibile ascoltare sulla porta "
                                  "%1: The bound address is already in use"_s}
            << QString();
        // The title is known (and shown) before the hours file is opened.
        QTest::newRow("no hours file")
            << QStringList() << 1 << QStringList{title}
            << u"Errore #Apertura OreDat  53 verificato: Impossibile trovare il file"_s;
        QTest::newRow("time scale above 1")
            << QStringList{u"--time-scale"_s, u"5"_s} << 2 << QStringList()
            << u"parvix: --time-scale needs a number F with 0 < F <= 1"_s;
    }

    void startUpEndsWithItsCodeAndTexts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, output);
        QFETCH(QString, error);
        const QString taken = QString::number(m_site.listenPort);
        SiteFixture site;
        // Without the hours file a start-up fails; a refused command line before reading it.
        if (exitCode != 0)
            site.workspace.remove(u"Ore.dat"_s);
        QVERIFY(site.startServer(arguments.replaceInStrings(u"%1"_s, taken)));
        QTRY_VERIFY(site.serverLines.lines.size() >= output.size());
        if (exitCode == 0)
            QVERIFY(site.stopServer());
        QTRY_COMPARE(site.server.state(), QProcess::NotRunning);
        // One left running goes on to its database (there is none) and says so.
        QCOMPARE(site.serverLines.lines.mid(0, exitCode == 0 ? output.size() : -1),
                 output.replaceInStrings(u"%1"_s, taken));
        QCOMPARE(site.server.exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(site.server.readAllStandardError()).trimmed(), error);
        // A refused command line leaves no log.
        QCOMPARE(site.workspace.exists(u"Log/RegistroQZ.txt"_s), exitCode != 2);
    }

    void initTestCase()
    {
        QVERIFY(m_site.prepare(
            {u"127.0.0.11=1"_s, u"127.0.0.12=2"_s, u"127.0.0.13=3"_s, u"127.0.0.11=4"_s},
            {{u"5"_s, u"127.0.0.14:1"_s}}));
        QVERIFY(m_site.startServer({u"--metrics-port"_s, QString::number(m_monitor)}));
        // Listening by then: the start-up rows need its port taken.
        QVERIFY(m_site.greeted());
    }

    void cleanupTestCase() { QVERIFY(m_site.stopServer()); }

    void everyTerminalIsGreetedListedAndCalledAgain()
    {
        // The second pass two (scaled) seconds after start-up rebuilds the status file.
        QVERIFY(m_site.greeted(2));
        QTRY_COMPARE(
            m_site.workspace.lines(u"Log/StatoPorteQZ.txt"_s).filter(u"] Connesso"_s).size(), 4);
        // SIGHUP calls again soon, not at the next pass of its own, sixteen (scaled) minutes on.
        const qsizetype greetings = m_site.terminalLines.count(u"127.0.0.12 <- %XI"_s);
        ::kill(pid_t(m_site.server.processId()), SIGHUP);
        QVERIFY(m_site.terminalLines.waitFor(u"127.0.0.12 <- %XI"_s, greetings + 1, 2000));
    }

    void terminalIsServedThroughHostilePeers()
    {
        const auto descriptors = [&] {
            return QDir(u"/proc/%1/fd"_s.arg(m_site.server.processId())).count();
        };
        const auto connectFrom = [this](const QString& address) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(address));
            socket->connectToHost(QHostAddress::LocalHost, m_site.listenPort);
            return socket;
        };
        const uint descriptorsBefore = descriptors();

        // 300 connections from addresses not in the table, as fast as they come.
        std::vector<std::unique_ptr<QTcpSocket>> strangers;
        for (int i = 0; i < 300; ++i)
            strangers.push_back(connectFrom(u"127.0.0.%1"_s.arg(100 + i % 100)));
        QVERIFY(served());
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(strangers.begin(), strangers.end(),
                                             [](const auto& s) {
                                                 return s->state() ==
                                                        QAbstractSocket::UnconnectedState;
                                             }),
                                 20000);

        // 500 connections from one table address: each replaces the last.
        std::vector<std::unique_ptr<QTcpSocket>> flood;
        for (int i = 0; i < 500; ++i)
            flood.push_back(connectFrom(u"127.0.0.14"_s));
        QTRY_VERIFY_WITH_TIMEOUT(flood.back()->state() == QAbstractSocket::ConnectedState, 20000);
        QVERIFY(served());

        // 10 MB without a line end; records of 34 characters, so each reaches its
        // statements: SQL in the badge (unknown) and in the order (a conversion
        // error), control bytes and bytes above 127 in the time (read as 00:00).
        QTcpSocket& peer = *flood.back();
        for (int megabytes = 0; megabytes < 10; ++megabytes) {
            peer.write(QByteArray(1 << 20, 'x'));
            QTRY_VERIFY_WITH_TIMEOUT(peer.bytesToWrite() == 0, 20000);
        }
        peer.write("\n\002073000061226';--#C00001000000000\003\n"
                   "\00207300006122600420000001'; DROP--\003\n"
                   "\002\001\177\377\376000612260042#C00001000000000\003\n");
        QTRY_VERIFY_WITH_TIMEOUT(peer.bytesAvailable() > 0 || peer.waitForReadyRead(100), 10000);
        QVERIFY(served());
        // The unknown badge is answered one (scaled) second later.
        QTRY_COMPARE(m_site.logLines().filter(u" Badge Errato"_s).size(), 1);
        QCOMPARE(m_site.logLines().filter(u" Errore #13 verificato: "_s).size(), 1);
        QCOMPARE(m_site.logLines().filter(u"oltre 4096 byte scartato"_s).size(), 1);

        // A slow peer: one byte at a time.
        for (char byte : QByteArray("0005TRAX\n")) {
            peer.write(&byte, 1);
            peer.flush();
            QTest::qWait(20);
        }
        QVERIFY(served());

        QCOMPARE(m_site.database->scalar(u"SELECT COUNT(*) FROM Dipendenti"_s).toInt(), 4);
        QCOMPARE(
            m_site.database->rows(u"SELECT Terminale, Ora, Minuti FROM Presenze ORDER BY Progr"_s),
            (QStringList{u"2|8|1"_s, u"2|8|2"_s, u"5|0|0"_s, u"2|8|3"_s, u"2|8|4"_s}));
        strangers.clear();
        flood.clear();
        QTRY_VERIFY_WITH_TIMEOUT(descriptors() <= descriptorsBefore + 5, 20000);
        qInfo("figures: hostile inputs: 300 strangers, 500 connections from one address, 10 MB "
              "without LF, 3 hostile records, 1 slow peer; reads confirmed: %d of %d",
              m_round, m_round);
    }

    // The monitor's endpoint under a 1 MB header, a byte a second, garbage and
    // 500 connections: each hostile client gets its refusal or is let go at
    // the deadline, terminals are served meanwhile, and the endpoint answers
    // again afterwards.
    void endpointHoldsThroughHostileClients()
    {
        const qint64 memoryBefore = m_site.residentKilobytes();
        const int roundBefore = m_round;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        const auto open = [&](const QByteArray& request) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, m_monitor);
            clients.back()->write(request);
            return clients.back().get();
        };
        const QList<QPair<QByteArray, QByteArray>> refused{
            {"GET /metrics HTTP/1.1\r\nX-Filler: " + QByteArray(1 << 20, 'x'), "431"},
            {"DELETE /metrics HTTP/1.1\r\n\r\n", "405"},
            {"\x16\x03\x01\x02\x05\r\n\r\n", "400"},
            {"GET /../../etc/passwd HTTP/1.1\r\n\r\n", "404"}};
        for (const auto& [request, status] : refused)
            open(request);
        QTcpSocket* slow = open("G");
        for (int i = 0; i < 500; ++i)
            open(QByteArray());
        QVERIFY(served());
        for (char byte : QByteArray("ET /metrics HTTP/1.1")) {
            QTest::qWait(1000);
            if (slow->state() != QAbstractSocket::ConnectedState)
                break;
            slow->write(&byte, 1);
            QVERIFY(served());
        }
        QCOMPARE(slow->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(slow->readAll(), QByteArray());
        for (qsizetype i = 0; i < refused.size(); ++i)
            QVERIFY2(clients[i]->readAll().startsWith("HTTP/1.1 " + refused[i].second + ' '),
                     refused[i].second.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!httpGet(m_monitor, "/health").isEmpty(), 15000);
        const qint64 memoryAfter = m_site.residentKilobytes();
        clients.clear();
        if (MemoryIsMeaningful)
            QVERIFY2(memoryAfter < memoryBefore + 20 * 1024, "memory grew by more than 20 MB");
        qInfo("figures: endpoint: 500 connections, 1 MB header, 1 byte/s, 3 garbage requests; "
              "reads confirmed: %d of %d; memory %lld kB before, %lld kB after",
              m_round - roundBefore, m_round - roundBefore, memoryBefore, memoryAfter);
    }

private:
    // A read of terminal 2, confirmed to it.
    bool served()
    {
        m_site.terminals.write(
            u"read 2 0042 #C 1 0 08%1 061226\n"_s.arg(++m_round, 2, 10, QChar(u'0')).toLatin1());
        return m_site.terminalLines.waitFor(u"127.0.0.12 display: KTessera n. 42|"_s, m_round);
    }

    SiteFixture m_site;
    quint16 m_monitor = freeLoopbackPort();
    int m_round = 0;
};

QTEST_GUILESS_MAIN(TestTerminalLink)
#include "tst_terminallink.moc"
