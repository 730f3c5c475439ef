#include "support/freeport.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/spoolprobe.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

// The real server and four simulated terminals: 1 to 3 on 127.0.0.11-13, and
// 4 sharing 127.0.0.11 with terminal 1 on a port of its own.
class TestTerminalLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void greetsAndListsEveryTerminal();
    void presenceAddsAnEntry();
    void liveReadReachesTheLog();
    void unknownBadgeIsAnsweredOnItsTerminal();
    void hangupConnectsAgain();
    void terminalsSharingAHostGiveTheirOwnFiles();

private:
    TempWorkspace m_workspace;
    QProcess m_server;
    SimulatedTerminals m_simulator;
    std::unique_ptr<ProcessLines> m_serverLines;
    ProcessLines* m_terminalLines = nullptr;
};

void TestTerminalLink::initTestCase()
{
    QVERIFY(m_simulator.start(
        m_workspace, {u"127.0.0.11=1"_s, u"127.0.0.12=2"_s, u"127.0.0.13=3"_s, u"127.0.0.11=4"_s}));
    m_terminalLines = &m_simulator.output();
    m_workspace.writeCompleteSettings(m_simulator.table());
    // The demo database (an SQLite file that stays in the workspace).
    QVERIFY(TestDatabase(m_workspace.path()).isValid());

    m_serverLines = std::make_unique<ProcessLines>(m_server);
    m_server.setWorkingDirectory(m_workspace.path());
    m_server.start(QString::fromLatin1(PARVIX_BINARY),
                   {u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                    QString::number(freeLoopbackPort())});
    QVERIFY(m_server.waitForStarted(5000));
}

void TestTerminalLink::cleanupTestCase()
{
    m_server.terminate();
    QVERIFY(m_server.waitForFinished(10000));
    QCOMPARE(m_server.exitCode(), 0);
}

void TestTerminalLink::greetsAndListsEveryTerminal()
{
    for (const QString& address : {u"127.0.0.11"_s, u"127.0.0.12"_s, u"127.0.0.13"_s}) {
        QVERIFY(m_terminalLines->waitFor(address + u" <- %XI"_s));
        QVERIFY(
            m_serverLines->waitFor(u"[port] [Num: %1 - IP: %2:"_s.arg(address.right(1), address)));
    }
    QVERIFY(m_serverLines->lines().first().startsWith(u"Parvix (SQL Server) Rev. "_s));
    QVERIFY(m_serverLines->lines().first().endsWith(u" - 4 porte"_s));
    // The second pass two (scaled) seconds after start-up rebuilds the status file.
    QVERIFY(m_terminalLines->waitFor(u"127.0.0.13 <- %XI"_s, 2));
    QTRY_COMPARE(m_workspace.lines(u"Log/StatoPorteQZ.txt"_s).count(), 4);
    for (const QString& line : m_workspace.lines(u"Log/StatoPorteQZ.txt"_s))
        QVERIFY(line.endsWith(u"] Connesso"_s));
}

void TestTerminalLink::presenceAddsAnEntry()
{
    const qsizetype before = m_serverLines->count(u"[Num: 2 - IP: 127.0.0.12:"_s);
    m_simulator.send("presence 2\n");
    QVERIFY(m_serverLines->waitFor(u"[port] [Num: 2 - IP: 127.0.0.12:"_s, before + 1));
}

void TestTerminalLink::liveReadReachesTheLog()
{
    m_simulator.send("read 127.0.0.11 42 #C 1 0 0730 061226\n");
    const QString logged =
        u"] Term: 1 - Msg: "_s + QChar(2) + u"0730000612260042#C00001000000000"_s + QChar(3);
    QTRY_VERIFY_WITH_TIMEOUT(
        m_workspace.lines(u"Log/RegistroQZ.txt"_s).join(u'\n').contains(logged), 10000);
}

void TestTerminalLink::unknownBadgeIsAnsweredOnItsTerminal()
{
    m_simulator.send("read 127.0.0.12 99 #C\n");
    QVERIFY(m_terminalLines->waitFor(u"127.0.0.12 display: KBadge Errato"_s));
    QVERIFY(m_terminalLines->waitFor(u"127.0.0.12 <- %E<14>KBadge Errato<255>"_s));
    QTRY_VERIFY(m_workspace.lines(u"Log/RegistroQZ.txt"_s).last().endsWith(u" [3]"_s));
}

void TestTerminalLink::hangupConnectsAgain()
{
    const qsizetype greetings = m_terminalLines->count(u"127.0.0.12 <- %XI"_s);
    ::kill(static_cast<pid_t>(m_server.processId()), SIGHUP);
    QVERIFY(m_terminalLines->waitFor(u"127.0.0.12 <- %XI"_s, greetings + 1));
}

// Each asked for its own file and emptied of it: the link of one is never
// taken for the other's.
void TestTerminalLink::terminalsSharingAHostGiveTheirOwnFiles()
{
    QVERIFY(m_serverLines->waitFor(u"[port] [Num: 4 - IP: 127.0.0.11:"_s));
    m_simulator.send("generate 1 5\ngenerate 4 5\n");
    QVERIFY(m_terminalLines->waitFor(u"127.0.0.11 stored"_s, 10));
    QTRY_VERIFY_WITH_TIMEOUT(m_workspace.read(u"PASSAGGI-127.0.0.11-1.txt"_s).isEmpty() &&
                                 m_workspace.read(u"PASSAGGI-127.0.0.11-4.txt"_s).isEmpty(),
                             30000);
    for (const QString& terminal : {u"1"_s, u"4"_s})
        QCOMPARE(spoolLines(m_workspace.path(), u"Terminal = "_s + terminal), 5);
}

QTEST_GUILESS_MAIN(TestTerminalLink)
#include "tst_terminallink.moc"
