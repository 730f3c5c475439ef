#include "support/freeport.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

// A working day typed into two simulated terminals, answered by the real
// server and posted into the demo database.
class TestWorkingDay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void dayIsConfirmedAndPosted();
    void lostFoldersLeaveTheServerServing();

private:
    // The server with simulated terminals ("address=number"), once each has
    // had its greeting.
    void start(const QStringList& terminals);

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<SimulatedTerminals> m_terminals;
    std::unique_ptr<TestDatabase> m_database;
    QProcess m_server;
};

void TestWorkingDay::cleanup()
{
    m_server.kill();
    m_server.waitForFinished(5000);
    m_terminals.reset();
    m_database.reset();
    m_workspace.reset();
}

void TestWorkingDay::start(const QStringList& terminals)
{
    m_workspace = std::make_unique<TempWorkspace>();
    m_terminals = std::make_unique<SimulatedTerminals>();
    QVERIFY(m_terminals->start(*m_workspace, terminals));
    m_workspace->writeCompleteSettings(m_terminals->table());
    m_workspace->write(u"Set/ParvixIP.set"_s, "2, 1, 1\r\n");
    m_database = std::make_unique<TestDatabase>(m_workspace->path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
    m_server.setWorkingDirectory(m_workspace->path());
    m_server.start(QString::fromLatin1(PARVIX_BINARY),
                   {u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                    QString::number(freeLoopbackPort())});
    QVERIFY(m_terminals->output().waitFor(terminals.last().section(u'=', 0, 0) + u" <- %XI"_s));
}

void TestWorkingDay::dayIsConfirmedAndPosted()
{
    start({u"127.0.0.11=1"_s, u"127.0.0.12=2"_s});
    if (QTest::currentTestFailed())
        return;
    TempWorkspace& workspace = *m_workspace;
    SimulatedTerminals& terminals = *m_terminals;
    ProcessLines& shown = terminals.output();
    TestDatabase& database = *m_database;
    QProcess& server = m_server;

    // Terminal 1: badge 0042 works on the new order 24/1/123/1; terminal 2:
    // badge 0045 clocks in and out, badge 0043 may not finish an order.
    const QList<std::pair<QByteArray, QString>> day{
        {"read 1 0042 #A 10 241001231 0800 061226",
         u"127.0.0.11 display: KTessera n. 42|Ord: 123 P: 10"_s},
        {"read 2 0045 #C 1 0 0805 061226",
         u"127.0.0.12 display: KTessera n. 45| Entra ->] 08:05"_s},
        {"read 1 0042 00 20 241001231 1030 061226",
         u"127.0.0.11 display: KTessera n. 42|Ord: 123 P: 20"_s},
        {"read 2 0043 #D 1 241000120 1100 061226",
         u"127.0.0.12 display: K    Tessera    |  NON ABILITATA"_s},
        {"read 1 0042 #B 0 241001231 1200 061226",
         u"127.0.0.11 display: KTessera n. 42|Ord: 123 P: 0"_s},
        {"read 1 0042 00 20 241001231 1300 061226",
         u"127.0.0.11 display: KTessera n. 42|Ord: 123 P: 20"_s},
        {"read 1 0042 #D 0 241001231 1700 061226",
         u"127.0.0.11 display: KTessera n. 42|Ord: 123 P: 0"_s},
        {"read 2 0045 #C 2 0 1710 061226",
         u"127.0.0.12 display: KTessera n. 45|  Esce <-] 17:10"_s},
    };
    for (const auto& [command, answer] : day) {
        // Some answers repeat: wait for this one, not for the same text seen earlier.
        const qsizetype seen = shown.count(answer);
        terminals.send(command + '\n');
        QVERIFY2(shown.waitFor(answer, seen + 1), qPrintable(answer));
    }

    QCOMPARE(
        database.rows(u"SELECT OraInizio, OraFine, Totale FROM SchedeLav ORDER BY OraInizio"_s),
        (QStringList{u"1900-01-01 08:00:00|1900-01-01 10:30:00|150"_s,
                     u"1900-01-01 10:30:00|1900-01-01 12:00:00|90"_s,
                     u"1900-01-01 13:00:00|1900-01-01 17:00:00|240"_s}));
    QCOMPARE(
        database.rows(u"SELECT Dipendente, Causale, Ora, Minuti FROM Presenze ORDER BY Progr"_s),
        (QStringList{u"1|0|8|0"_s, u"4|1|8|5"_s, u"1|0|12|0"_s, u"1|0|13|0"_s, u"1|0|17|0"_s,
                     u"4|2|17|10"_s}));
    QCOMPARE(database.rows(u"SELECT Finito, CodBarre FROM Ordini WHERE Numero = 123"_s),
             QStringList{u"1|*241001231*"_s});
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), 7);

    server.terminate();
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 0);
}

// The journal's folder and the log folder vanish under the running server.
void TestWorkingDay::lostFoldersLeaveTheServerServing()
{
    start({u"127.0.0.11=1"_s});
    if (QTest::currentTestFailed())
        return;
    TempWorkspace& workspace = *m_workspace;
    ProcessLines& shown = m_terminals->output();
    TestDatabase& database = *m_database;
    QProcess& server = m_server;
    SimulatedTerminals& terminals = *m_terminals;
    const auto read = [&](const QByteArray& hhmm, const QString& answer) {
        const QString line = u"127.0.0.11 display: "_s + answer;
        const qsizetype before = shown.count(line);
        terminals.send("read 1 0045 #C 1 0 " + hhmm + " 061226\n");
        return shown.waitFor(line, before + 1);
    };

    // Without the journal's folder the posting fails by its own error path:
    // what reached the database stays, the terminal is told.
    workspace.remove(u"Backup"_s);
    QVERIFY(read("0800", u"KBadge Errato"_s));
    QVERIFY(workspace.lines(u"Log/RegistroQZ.txt"_s).filter(u"Errore #76"_s).size() == 1);
    // Without the log folder the lines are lost, the reads are still served.
    workspace.remove(u"Log"_s);
    workspace.write(u"Log"_s, "a file where the folder was");
    QVERIFY(read("0900", u"KBadge Errato"_s));
    QDir(workspace.path()).mkpath(u"Backup"_s);
    QVERIFY(read("1000", u"KTessera n. 45| Entra ->] 10:00"_s));
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), 1);
    QCOMPARE(database.rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s),
             (QStringList{u"8"_s, u"9"_s, u"10"_s}));

    server.terminate();
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestWorkingDay)
#include "tst_workingday.moc"
