#include "support/sitefixture.h"

#include "support/freeport.h"
#include "support/passmodel.h"
#include "support/spoolprobe.h"

#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

SiteFixture::SiteFixture()
{
    workspace.writeCompleteSettings();
}

SiteFixture::~SiteFixture()
{
    server.kill();
    server.waitForFinished(5000);
}

bool SiteFixture::prepare(const QStringList& terminals, const QList<QStringList>& extraTable,
                          quint16 viaPort, const QString& options)
{
    if (!this->terminals.start(workspace, terminals))
        return false;
    workspace.writeCompleteSettings(this->terminals.table() + extraTable);
    database = std::make_unique<TestDatabase>(workspace.path());
    workspace.write(u"Set/Connection.set"_s,
                    '"' + (database->connectionString(viaPort) + options).toLatin1() + "\"\r\n");
    return database->isValid();
}

bool SiteFixture::startServer(const QStringList& arguments, const QByteArray& crashAt)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PARVIX_CRASH_AT"_s, QString::fromLatin1(crashAt)); // empty: none
    server.setProcessEnvironment(environment);
    server.setWorkingDirectory(workspace.path());
    server.start(QString::fromLatin1(PARVIX_BINARY),
                 QStringList{u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                             QString::number(freeLoopbackPort())} +
                     arguments);
    return server.waitForStarted(5000);
}

void SiteFixture::signalServer(int signal)
{
    ::kill(static_cast<pid_t>(server.processId()), signal);
}

bool SiteFixture::stopServer()
{
    server.terminate();
    return server.waitForFinished(10000) && server.exitStatus() == QProcess::NormalExit &&
           server.exitCode() == 0;
}

bool SiteFixture::greeted(qsizetype times)
{
    for (const QStringList& entry : terminals.table()) {
        const QString address = entry[1].section(u':', 0, 0);
        if (!terminals.output().waitFor(address + u" <- %XI"_s, times) ||
            !serverLines.waitFor(u"[port] [Num: %1 - IP: %2:"_s.arg(entry[0], address)))
            return false;
    }
    return true;
}

bool SiteFixture::sendAndWait(const QByteArray& commands, const QString& line, int timeoutMs)
{
    const auto seen = [&] {
        return terminals.output().count(line) + serverLines.count(line);
    };
    const qsizetype before = seen();
    terminals.send(commands);
    return QTest::qWaitFor([&] { return seen() > before; }, timeoutMs);
}

QStringList SiteFixture::logLines() const
{
    return workspace.lines(u"Log/RegistroQZ.txt"_s);
}

bool SiteFixture::drained() const
{
    for (const QString& file : QDir(workspace.path()).entryList({u"PASSAGGI-*.txt"_s})) {
        if (!workspace.read(file).isEmpty())
            return false;
    }
    return spoolLines(workspace.path(), u"State IN (0, 1, 2)"_s) == 0;
}

void SiteFixture::expectPosted(const QStringList& records, const QStringList& live)
{
    const Expectation expected = Expectation::of(records);
    QStringList attendance =
        database->rows(u"SELECT Dipendente, Data, Causale, Ora, Minuti FROM Presenze"_s);
    QStringList expectedAttendance = expected.attendance + live;
    QStringList sheets = database->rows(
        u"SELECT Dipendente, Data, PosizLav, OraInizio, OraFine, Totale FROM SchedeLav"_s);
    for (QStringList* rows : {&attendance, &expectedAttendance, &sheets})
        rows->sort();
    QCOMPARE(attendance, expectedAttendance);
    QCOMPARE(sheets, expected.sheets);
    // One journal line per posted transit, one marker per posted stored one.
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), expected.posted + live.size());
    QCOMPARE(database->scalar(u"SELECT COUNT(*) FROM ParvixScarico"_s).toLongLong(),
             qint64(expected.posted));
    QCOMPARE(spoolLines(workspace.path(), u"State IN (5, 6)"_s), 0);
}
