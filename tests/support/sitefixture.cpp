#include "support/sitefixture.h"

#include "app/recordwriter.h"
#include "support/freeport.h"
#include "support/spoolprobe.h"

#include <QMap>
#include <QtTest>

#include <algorithm>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// What posting records (as a terminal stores them: the 32 characters between
// 2 and 3) in true chronological order gives, worked out independently of the
// server (attendance switches off, demo employees, the open order 24/1/12/0):
// attendance rows, and work sheets closed by the next order transit or an exit.
struct Expectation
{
    QStringList attendance; // Dipendente|Data|Causale|Ora|Minuti
    QStringList sheets;     // Dipendente|Data|PosizLav|start|end|Totale
    qsizetype posted = 0;   // records of a known badge
};

Expectation expectationOf(QStringList records)
{
    std::ranges::sort(records, {}, [](const QString& r) {
        return r.mid(10, 2) + r.mid(8, 2) + r.mid(6, 2) + r.left(4);
    });
    Expectation e;
    // By employee|date: the attendance rows, and the open sheet's start minute and text.
    QMap<QString, int> count;
    QMap<QString, std::pair<int, QString>> open;
    for (const QString& r : records) {
        // Employees 1 to 4 hold the demo badges 0042 to 0045.
        const int employee =
            QStringList{u"0042"_s, u"0043"_s, u"0044"_s, u"0045"_s}.indexOf(r.mid(12, 4)) + 1;
        if (employee == 0)
            continue;
        ++e.posted;
        const QString date = u"20"_s + r.mid(10, 2) + u'-' + r.mid(8, 2) + u'-' + r.mid(6, 2);
        const QString day = QString::number(employee) + u'|' + date;
        const int minute = r.left(2).toInt() * 60 + r.mid(2, 2).toInt();
        const QString time = u"1900-01-01 "_s + r.left(2) + u':' + r.mid(2, 2) + u":00"_s;
        const QString function = r.mid(16, 2);
        const int position = r.mid(18, 5).toInt();
        const auto close = [&] {
            if (!open.contains(day))
                return;
            const auto [start, text] = open.take(day);
            e.sheets.append(day + u'|' + text + u'|' + time + u'|' +
                            QString::number(minute - start));
        };
        if (function == u"#C"_s) {
            if (count[day]++ % 2 == 1) // an exit
                close();
            e.attendance.append(
                u"%1|%2|%3|%4"_s.arg(day).arg(position).arg(minute / 60).arg(minute % 60));
        } else {
            close();
            if (function == u"00"_s)
                open[day] = {minute, QString::number(position) + u'|' + time};
        }
    }
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        e.sheets.append(it.key() + u'|' + it.value().second + u"|-|-"_s);
    return e;
}

} // namespace

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
                    RecordWriter::quotedRecord({database->connectionString(viaPort) + options}));
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

bool SiteFixture::drained() const
{
    const QStringList files = QDir(workspace.path()).entryList({u"PASSAGGI-*.txt"_s});
    return std::all_of(files.cbegin(), files.cend(),
                       [this](const QString& file) { return workspace.read(file).isEmpty(); }) &&
           spoolLines(workspace.path(), u"State IN (0, 1, 2)"_s) == 0;
}

void SiteFixture::expectPosted(const QStringList& records, const QStringList& live)
{
    Expectation expected = expectationOf(records);
    expected.attendance += live;
    QStringList attendance =
        database->rows(u"SELECT Dipendente, Data, Causale, Ora, Minuti FROM Presenze"_s);
    QStringList sheets = database->rows(
        u"SELECT Dipendente, Data, PosizLav, OraInizio, OraFine, Totale FROM SchedeLav"_s);
    for (QStringList* rows : {&attendance, &expected.attendance, &sheets, &expected.sheets})
        rows->sort();
    QCOMPARE(attendance, expected.attendance);
    QCOMPARE(sheets, expected.sheets);
    // One journal line per posted transit, one marker per posted stored one.
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), expected.posted + live.size());
    QCOMPARE(database->scalar(u"SELECT COUNT(*) FROM ParvixScarico"_s).toLongLong(),
             qint64(expected.posted));
    QCOMPARE(spoolLines(workspace.path(), u"State IN (5, 6)"_s), 0);
}
