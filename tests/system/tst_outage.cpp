#include "app/recordwriter.h"
#include "app/server.h"
#include "support/freeport.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

// PostgreSQL stops under the running server and comes back.
class TestOutage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsDuringAnOutageAreRejectedAndPostingResumes();
};

void TestOutage::readsDuringAnOutageAreRejectedAndPostingResumes()
{
    qputenv("PARVIX_TEST_BACKEND", "postgresql");
    TempWorkspace workspace;
    SimulatedTerminals terminal;
    QVERIFY(terminal.start(workspace, {u"127.0.0.11=1"_s}));
    workspace.writeCompleteSettings(terminal.table());
    TestDatabase database(workspace.path());
    QVERIFY2(database.isValid(), qPrintable(database.error()));
    workspace.write(u"Set/Connection.set"_s,
                    RecordWriter::quotedRecord({database.connectionString()}));
    QProcess server;
    server.setWorkingDirectory(workspace.path());
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QString::fromLatin1(PARVIX_BINARY),
                 {u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                  QString::number(freeLoopbackPort())});
    ProcessLines& shown = terminal.output();
    QVERIFY(shown.waitFor(u"127.0.0.11 <- %XI"_s));
    const auto read = [&](const QByteArray& time, const QString& answer, int times) {
        terminal.send("read 1 0042 #C 1 0 " + time + " 061226\n");
        QVERIFY2(shown.waitFor(u"127.0.0.11 display: "_s + answer, times), qPrintable(answer));
    };
    read("0800", u"KTessera n. 42| Entra ->] 08:00"_s, 1);

    const QString cluster = QString::fromLatin1(PARVIX_PG_CLUSTER);
    QCOMPARE(QProcess::execute(cluster, {u"pause"_s}), 0);
    // With no database the check fails before any answer: two log lines per read.
    for (const QByteArray& time : {QByteArray("0900"), QByteArray("0901")})
        terminal.send("read 1 0042 #C 1 0 " + time + " 061226\n");
    QTRY_COMPARE_WITH_TIMEOUT(
        workspace.lines(u"Log/RegistroQZ.txt"_s).filter(u" Errore #3704 verificato: "_s).size(), 2,
        20000);
    QCOMPARE(QProcess::execute(cluster, {u"resume"_s}), 0);
    QVERIFY(database.reconnect());
    // No restart of Parvix: once the database has been left alone for its
    // few seconds, the next read opens a session again.
    QTest::qWait(ParvixServer::RetryInterval);
    read("1000", u"KTessera n. 42|  Esce <-] 10:00"_s, 1);

    const QStringList log = workspace.lines(u"Log/RegistroQZ.txt"_s);
    QCOMPARE(log.filter(u" Op DB:Errore #"_s).size(), 2);
    QCOMPARE(log.filter(u" Errore #3704 verificato: "_s).size(), 2);
    QCOMPARE(database.rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s),
             (QStringList{u"8"_s, u"10"_s}));
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), 2);
    qInfo("figures: PostgreSQL stopped under the server - 2 reads refused with 2 log lines "
          "each, nothing posted; after the restart reads post again, Parvix not restarted");
    server.terminate();
    QVERIFY(server.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestOutage)
#include "tst_outage.moc"
