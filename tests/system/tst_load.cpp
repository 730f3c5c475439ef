#include "support/freeport.h"
#include "support/passmodel.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/spoolprobe.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"
#include "support/testparameters.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Under AddressSanitizer the process's memory is mostly the sanitizer's own.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool MemoryIsMeaningful = false;
#else
constexpr bool MemoryIsMeaningful = true;
#endif
#else
constexpr bool MemoryIsMeaningful = true;
#endif

constexpr int Terminals = 20;          // numbers 1 to 20: 0 marks an unused slot
constexpr int StoredPerTerminal = 100; // on terminals 1 to 3

qint64 residentKilobytes(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

} // namespace

// Every terminal reads live while a download pass of stored transits runs.
class TestLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void liveReadsDuringAPassAreEachAnsweredAndPostedOnce();
};

void TestLoad::liveReadsDuringAPassAreEachAnsweredAndPostedOnce()
{
    // Reads fall on distinct minutes of one day: at most 72 rounds.
    const int rounds = int(qMin(testParameter("PARVIX_LOAD_ROUNDS", 10), 72u));
    TempWorkspace workspace;
    SimulatedTerminals terminals;
    QStringList addresses;
    for (int n = 1; n <= Terminals; ++n)
        addresses.append(u"127.0.0.%1=%2"_s.arg(10 + n).arg(n));
    QVERIFY(terminals.start(workspace, addresses));
    workspace.writeCompleteSettings(terminals.table());
    TestDatabase database(workspace.path());
    QVERIFY(database.isValid());
    terminals.send("generate 1 100 3\ngenerate 2 100 3\ngenerate 3 100 3\n");
    QStringList stored;
    QTRY_COMPARE_WITH_TIMEOUT(
        (stored = QString::fromLatin1(workspace.read(u"PASSAGGI-127.0.0.13.txt"_s))
                      .split(u'\n', Qt::SkipEmptyParts))
            .size(),
        StoredPerTerminal, 10000);
    for (const QString& address : {u"127.0.0.11"_s, u"127.0.0.12"_s})
        stored += QString::fromLatin1(workspace.read(u"PASSAGGI-"_s + address + u".txt"_s))
                      .split(u'\n', Qt::SkipEmptyParts);
    const Expectation pass = Expectation::of(stored);

    QProcess server;
    server.setWorkingDirectory(workspace.path());
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QString::fromLatin1(PARVIX_BINARY),
                 {u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                  QString::number(freeLoopbackPort())});
    QVERIFY(terminals.output().waitFor(u"127.0.0.30 <- %XI"_s));
    const qint64 memoryBefore = residentKilobytes(server.processId());

    // Live reads dated today (the stored ones are of earlier days), so the
    // two streams meet no common employee-day.
    const QString today = QDate::currentDate().toString(u"ddMMyy"_s);
    const QStringList badges{u"0042"_s, u"0043"_s, u"0044"_s, u"0045"_s, u"0099"_s};
    QMap<int, QStringList> expectedTexts; // per terminal, in order: badge|HH:MM
    QStringList liveRows;
    QByteArray script;
    for (int round = 0; round < rounds; ++round) {
        for (int n = 1; n <= Terminals; ++n) {
            // Terminals 1 to 3 also get the pass's rejections: no unknown badge live there.
            const QString badge = badges[(n + round) % (n <= 3 ? 4 : badges.size())];
            const QString time = u"%1%2"_s.arg(6 + n % 12 + round / 12, 2, 10, QChar(u'0'))
                                     .arg(round % 12 * 5 + n % 5, 2, 10, QChar(u'0'));
            script += u"read %1 %2 #C %3 0 %4 %5\n"_s.arg(n)
                          .arg(badge)
                          .arg(1 + round % 3)
                          .arg(time, today)
                          .toLatin1();
            expectedTexts[n].append(badge + u'|' + time.left(2) + u':' + time.mid(2));
            if (badge != u"0099"_s) {
                const int employee = badges.indexOf(badge) + 1;
                liveRows.append(u"%1|%2|%3|%4|%5"_s.arg(employee)
                                    .arg(QDate::currentDate().toString(u"yyyy-MM-dd"_s))
                                    .arg(1 + round % 3)
                                    .arg(time.left(2).toInt())
                                    .arg(time.mid(2).toInt()));
            }
        }
    }
    terminals.send(script);
    const auto answers = [&terminals](int n) {
        QStringList shown =
            terminals.output().lines().filter(u"127.0.0.%1 display: "_s.arg(10 + n));
        if (n <= 3)
            shown = shown.filter(u"KTessera"_s);
        return shown;
    };
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int n = 1; n <= Terminals; ++n) {
                if (answers(n).size() < rounds)
                    return false;
            }
            return true;
        }(),
        120000);
    QTRY_VERIFY_WITH_TIMEOUT(workspace.lines(u"ScaricoOK_OLD.txt"_s).size() ==
                                     3 * StoredPerTerminal &&
                                 spoolLines(workspace.path(), u"State IN (0, 1, 2)"_s) == 0,
                             120000);

    // Every read got its own text: its badge and its time, or the rejection
    // (which comes one scaled second later, so a later read may overtake it).
    static const QRegularExpression confirmation(
        u"KTessera n\\. (\\d+)\\|.*\\] (\\d\\d:\\d\\d)$"_s);
    for (int n = 1; n <= Terminals; ++n) {
        QStringList got;
        for (const QString& line : answers(n)) {
            const QRegularExpressionMatch match = confirmation.match(line);
            got.append(match.hasMatch()
                           ? match.captured(1).rightJustified(4, u'0') + u'|' + match.captured(2)
                           : line.section(u": "_s, 1));
        }
        QStringList expected;
        for (const QString& read : expectedTexts[n])
            expected.append(read.startsWith(u"0099"_s) ? u"KBadge Errato"_s : read);
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
    }
    QStringList attendance =
        database.rows(u"SELECT Dipendente, Data, Causale, Ora, Minuti FROM Presenze"_s);
    attendance.sort();
    QStringList expectedAttendance = pass.attendance + liveRows;
    expectedAttendance.sort();
    QCOMPARE(attendance, expectedAttendance);
    QStringList sheets = database.rows(
        u"SELECT Dipendente, Data, PosizLav, OraInizio, OraFine, Totale FROM SchedeLav"_s);
    sheets.sort();
    QCOMPARE(sheets, pass.sheets);
    const int postedStored = int(std::count_if(
        stored.begin(), stored.end(), [](const QString& r) { return r.mid(12, 4) != u"0099"_s; }));
    QCOMPARE(workspace.lines(u"Backup/Backup.txt"_s).size(), postedStored + liveRows.size());

    const qint64 memoryAfter = residentKilobytes(server.processId());
    qInfo("figures: %d terminals, reads sent %d, answered %d, posted %lld; stored transits %lld, "
          "posted %d; "
          "memory %lld kB before, %lld kB after",
          Terminals, Terminals * rounds, Terminals * rounds, liveRows.size(), stored.size(),
          postedStored, memoryBefore, memoryAfter);
    if (MemoryIsMeaningful)
        QVERIFY2(memoryAfter < memoryBefore + 30 * 1024, "memory grew by more than 30 MB");
    server.terminate();
    QVERIFY(server.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestLoad)
#include "tst_load.moc"
