#include "support/freeport.h"
#include "support/tempworkspace.h"
#include "version.h"

#include <QProcess>
#include <QTcpServer>
#include <QtTest>

using namespace Qt::StringLiterals;

// Drives the real binary the way an operator or a service manager does.
class TestHeadless : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsTitleAndEndsCleanlyOnSigterm();
    void startupFailureExitsOneWithItsText();
    void takenPortIsShownAfterTheTitle();
    void wrongOptionIsAUsageError();

private:
    void startIn(QProcess& process, const TempWorkspace& workspace, const QStringList& extra = {});
};

void TestHeadless::startIn(QProcess& process, const TempWorkspace& workspace,
                           const QStringList& extra)
{
    process.setWorkingDirectory(workspace.path());
    process.start(QString::fromLatin1(PARVIX_BINARY),
                  QStringList{u"--headless"_s, u"--time-scale"_s, u"0.01"_s} + extra);
    QVERIFY(process.waitForStarted(5000));
}

void TestHeadless::printsTitleAndEndsCleanlyOnSigterm()
{
    TempWorkspace workspace;
    workspace.writeCompleteSettings({{u"1"_s, u"127.0.0.11"_s}});
    QProcess process;
    startIn(process, workspace, {u"--listen-port"_s, QString::number(freeLoopbackPort())});
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    QCOMPARE(QString::fromUtf8(process.readLine()).trimmed(),
             u"Parvix (SQL Server) Rev. %1 - 1 porta"_s.arg(Version::Revision));

    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TestHeadless::startupFailureExitsOneWithItsText()
{
    TempWorkspace workspace;
    workspace.writeCompleteSettings();
    workspace.remove(u"Ore.dat"_s);
    QProcess process;
    startIn(process, workspace, {u"--listen-port"_s, QString::number(freeLoopbackPort())});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    const QString text = u"Errore #Apertura OreDat  53 verificato: Impossibile trovare il file"_s;
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()).trimmed(), text);
    // The title is known (and shown) before the hours file is opened.
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
             u"Parvix (SQL Server) Rev. %1 - 0 porte"_s.arg(Version::Revision));
    QVERIFY(workspace.lines(u"Log/RegistroQZ.txt"_s).last().endsWith(text));
}

void TestHeadless::takenPortIsShownAfterTheTitle()
{
    TempWorkspace workspace;
    workspace.writeCompleteSettings();
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, 0));
    QProcess process;
    startIn(process, workspace, {u"--listen-port"_s, QString::number(squatter.serverPort())});
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    QVERIFY(process.readLine().startsWith("Parvix (SQL Server) Rev. "));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    const QString error = QString::fromUtf8(process.readLine()).trimmed();
    QVERIFY2(error.startsWith(u"[err] "_s) &&
                 error.contains(QString::number(squatter.serverPort())),
             qPrintable(error));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
}

void TestHeadless::wrongOptionIsAUsageError()
{
    TempWorkspace workspace;
    QProcess process;
    startIn(process, workspace, {u"--time-scale"_s, u"5"_s});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("--time-scale"));
    QVERIFY(!workspace.exists(u"RegistroQZ.txt"_s));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
