#include "support/sitefixture.h"

#include "app/recordwriter.h"
#include "support/freeport.h"
#include "support/spoolprobe.h"

#include <QMap>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;

ProcessLines::ProcessLines(QProcess& process)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, [this, &process] {
        while (process.canReadLine())
            lines.append(QString::fromLatin1(process.readLine()).chopped(1));
    });
}

bool ProcessLines::waitFor(const QString& text, qsizetype times, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(text) >= times; }, timeoutMs);
}

SiteFixture::~SiteFixture()
{
    for (QProcess* process : {&server, &terminals}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

bool startTerminals(QProcess& process, ProcessLines& lines, const QString& folder,
                    const QStringList& addresses, QList<QStringList>& table)
{
    QStringList arguments{u"--port"_s, u"0"_s};
    for (const QString& terminal : addresses)
        arguments << u"--terminal"_s << terminal;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QString::fromLatin1(PARVIX_TERMSIM), arguments);
    if (!lines.waitFor(u"listening on port"_s, addresses.size()))
        return false;
    static const QRegularExpression listening(
        u"^(\\S+) terminal (\\d+) listening on port (\\d+)$"_s);
    for (const QString& line : lines.lines.filter(listening)) {
        const QRegularExpressionMatch match = listening.match(line);
        table.append({match.captured(2), match.captured(1) + u':' + match.captured(3)});
    }
    return true;
}

bool SiteFixture::prepare(const QStringList& addresses, const QList<QStringList>& extraTable,
                          quint16 viaPort, const QString& options)
{
    if (!startTerminals(terminals, terminalLines, workspace.path(), addresses, table))
        return false;
    workspace.writeCompleteSettings(table + extraTable);
    database = std::make_unique<TestDatabase>(workspace.path());
    workspace.write(u"Set/Connection.set"_s,
                    RecordWriter::quotedRecord({database->connectionString(viaPort) + options}));
    return database->isValid();
}

QStringList SiteFixture::stored() const
{
    static const QRegularExpression stored(u" stored <2>(.{32})<3>$"_s);
    QStringList records;
    for (const QString& line : terminalLines.lines.filter(stored))
        records.append(stored.match(line).captured(1));
    return records;
}

bool SiteFixture::startServer(const QStringList& arguments, const QByteArray& crashAt)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PARVIX_CRASH_AT"_s, QString::fromLatin1(crashAt)); // empty: none
    server.setProcessEnvironment(environment);
    server.setWorkingDirectory(workspace.path());
    listenPort = freeLoopbackPort();
    server.start(QString::fromLatin1(PARVIX_BINARY),
                 QStringList{u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                             QString::number(listenPort)} +
                     arguments);
    return server.waitForStarted(5000);
}

qint64 SiteFixture::residentKilobytes() const
{
    QFile status(u"/proc/%1/status"_s.arg(server.processId()));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return text.mid(text.indexOf("VmRSS:") + 6).trimmed().split(' ').first().toLongLong();
}

bool SiteFixture::stopServer()
{
    server.terminate();
    return server.waitForFinished(10000) && server.exitStatus() == QProcess::NormalExit &&
           server.exitCode() == 0;
}

bool SiteFixture::greeted(qsizetype times)
{
    for (const QStringList& entry : table) {
        const QString address = entry[1].section(u':', 0, 0);
        if (!terminalLines.waitFor(address + u" <- %XI"_s, times) ||
            !serverLines.waitFor(u"[port] [Num: %1 - IP: %2:"_s.arg(entry[0], address)))
            return false;
    }
    return true;
}

bool SiteFixture::drained() const
{
    const QStringList files = QDir(workspace.path()).entryList({u"PASSAGGI-*.txt"_s});
    return std::all_of(files.cbegin(), files.cend(),
                       [this](const QString& file) { return workspace.read(file).isEmpty(); }) &&
           spoolLines(workspace.path(), u"State IN (0, 1, 2)"_s) == 0;
}

// The model, worked out independently of the server: posting records in true
// chronological order (attendance switches off, demo employees, the open order
// 24/1/12/0) gives attendance rows, and work sheets closed by the next order
// transit or an exit.
void SiteFixture::expectPosted(QStringList records, const QStringList& live)
{
    std::ranges::sort(records, {}, [](const QString& r) {
        return r.mid(10, 2) + r.mid(8, 2) + r.mid(6, 2) + r.left(4);
    });
    QStringList attendance = live; // Dipendente|Data|Causale|Ora|Minuti
    QStringList sheets;            // Dipendente|Data|PosizLav|start|end|Totale
    qsizetype posted = 0;          // records of a known badge
    // By employee|date: the attendance rows, and the open sheet's start minute and text.
    QMap<QString, int> count;
    QMap<QString, std::pair<int, QString>> open;
    for (const QString& r : std::as_const(records)) {
        // Employees 1 to 4 hold the demo badges 0042 to 0045.
        const int employee =
            QStringList{u"0042"_s, u"0043"_s, u"0044"_s, u"0045"_s}.indexOf(r.mid(12, 4)) + 1;
        if (employee == 0)
            continue;
        ++posted;
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
            sheets.append(day + u'|' + text + u'|' + time + u'|' + QString::number(minute - start));
        };
        if (function == u"#C"_s) {
            if (count[day]++ % 2 == 1) // an exit
                close();
            attendance.append(
                u"%1|%2|%3|%4"_s.arg(day).arg(position).arg(minute / 60).arg(minute % 60));
        } else {
            close();
            if (function == u"00"_s)
                open[day] = {minute, QString::number(position) + u'|' + time};
        }
    }
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        sheets.append(it.key() + u'|' + it.value().second + u"|-|-"_s);
    attendance.sort();
    sheets.sort();
    QStringList rows =
        database->rows(u"SELECT Dipendente, Data, Causale, Ora, Minuti FROM Presenze"_s);
    rows.sort();
    QCOMPARE(rows, attendance);
    rows = database->rows(
        u"SELECT Dipendente, Data, PosizLav, OraInizio, OraFine, Totale FROM SchedeLav"_s);
    rows.sort();
    QCOMPARE(rows, sheets);
    // One journal line per posted transit, one marker per posted stored one.
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), posted + live.size());
    QCOMPARE(database->scalar(u"SELECT COUNT(*) FROM ParvixScarico"_s).toLongLong(),
             qint64(posted));
    QCOMPARE(spoolLines(workspace.path(), u"State IN (5, 6)"_s), 0);
}
