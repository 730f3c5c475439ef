#include "support/freeport.h"
#include "support/httpclient.h"
#include "support/sitefixture.h"

#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int Terminals = 20; // numbers 1 to 20: 0 marks an unused slot

// The value of one sample line of a scrape ("name{labels}"); -1 when absent.
double sample(const QByteArray& scrape, const QByteArray& name)
{
    const qsizetype at = scrape.indexOf('\n' + name + ' ');
    return at < 0 ? -1 : scrape.mid(at + name.size() + 2).split('\n').first().toDouble();
}

} // namespace

// Every terminal reads live while a download pass of stored transits runs, and
// a monitor scrapes the server every second.
class TestLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void liveReadsDuringAPassAreEachAnsweredAndPostedOnce();
};

void TestLoad::liveReadsDuringAPassAreEachAnsweredAndPostedOnce()
{
    // Reads fall on distinct minutes of one day: at most 72 rounds.
    const int rounds = qMin(qEnvironmentVariable("PARVIX_LOAD_ROUNDS", u"10"_s).toInt(), 72);
    SiteFixture site;
    QStringList addresses;
    for (int n = 1; n <= Terminals; ++n)
        addresses.append(u"127.0.0.%1=%2"_s.arg(10 + n).arg(n));
    QVERIFY(site.prepare(addresses));
    site.terminals.write("generate 1 100 3\ngenerate 2 100 3\ngenerate 3 100 3\n");
    QTRY_COMPARE_WITH_TIMEOUT(site.stored().size(), 300, 10000);
    const quint16 monitor = freeLoopbackPort();
    QVERIFY(site.startServer({u"--metrics-port"_s, QString::number(monitor)}));
    QVERIFY(site.greeted());
    const qint64 memoryBefore = site.residentKilobytes();
    int scrapes = 0;
    QTimer scraper;
    connect(&scraper, &QTimer::timeout,
            [&] { scrapes += !httpGet(monitor, "/metrics").isEmpty(); });
    scraper.start(100); // ten of the server's seconds, a hundred times faster

    // Live reads dated today (the stored ones are of earlier days), so the
    // two streams meet no common employee-day. Terminals 1 to 3 also show the
    // pass's rejections: no unknown badge reads live there.
    const QDateTime today = QDateTime(QDate::currentDate(), QTime(0, 0));
    QStringList expected; // terminal|badge|HH:MM, or terminal|the rejection
    QStringList live;
    QByteArray script;
    for (int read = 0; read < rounds * Terminals; ++read) {
        const int n = 1 + read % Terminals;
        const int employee = 1 + (n + read / Terminals) % (n <= 3 ? 4 : 5);
        const int cause = 1 + read / Terminals % 3;
        const QDateTime at = today.addSecs(60 * read);
        const QString badge = employee == 5 ? u"99"_s : QString::number(41 + employee);
        script += u"read %1 %2 #C %3 0 "_s.arg(n).arg(badge).arg(cause).toLatin1() +
                  at.toString(u"HHmm ddMMyy\n"_s).toLatin1();
        expected.append(u"%1|"_s.arg(n) +
                        (employee == 5 ? u"KBadge Errato"_s : badge + at.toString(u"|HH:mm"_s)));
        if (employee < 5)
            live.append(u"%1|%2|%3|"_s.arg(employee).arg(at.toString(u"yyyy-MM-dd"_s)).arg(cause) +
                        u"%1|%2"_s.arg(at.time().hour()).arg(at.time().minute()));
    }
    site.terminals.write(script);
    // Every read gets its own text (a rejection comes one scaled second later,
    // so a later read may overtake it).
    static const QRegularExpression shown(
        u"^127\\.0\\.0\\.(\\d+) display: (KTessera n\\. (\\d+)\\|.*\\] (.*)|.*)$"_s);
    const auto answers = [&] {
        QStringList got;
        for (const QString& line : site.terminalLines.lines) {
            const QRegularExpressionMatch match = shown.match(line);
            const int n = match.captured(1).toInt() - 10;
            if (match.hasMatch() && (n > 3 || match.hasCaptured(3)))
                got.append(u"%1|"_s.arg(n) + (match.hasCaptured(3)
                                                  ? match.captured(3) + u'|' + match.captured(4)
                                                  : match.captured(2)));
        }
        got.sort();
        return got;
    };
    expected.sort();
    QVERIFY(QTest::qWaitFor([&] { return answers().size() >= expected.size(); }, 120000));
    QCOMPARE(answers(), expected);
    QVERIFY(QTest::qWaitFor([&] { return site.drained(); }, 120000));
    site.expectPosted(site.stored(), live);

    // The figures tell what was sent and stored; the scrape is in the standard format.
    scraper.stop();
    const QByteArray scrape = httpGet(monitor, "/metrics");
    const qint64 posted =
        site.database->scalar(u"SELECT COUNT(*) FROM ParvixScarico"_s).toLongLong();
    const QList<QPair<QByteArray, double>> figures{
        {"parvix_live_reads_total{outcome=\"confirmed\"}", live.size()},
        {"parvix_live_reads_total{outcome=\"rejected\"}", expected.size() - live.size()},
        {"parvix_live_reads_total{outcome=\"failed\"}", 0},
        {"parvix_confirmation_latency_seconds_count", live.size()},
        {"parvix_terminals_configured", Terminals},
        {"parvix_terminals_linked", Terminals},
        {"parvix_download_lines_total{outcome=\"posted\"}", posted},
        {"parvix_download_lines_total{outcome=\"rejected\"}", site.stored().size() - posted},
        {"parvix_download_lines_total{outcome=\"failed\"}", 0},
        {"parvix_spool_lines{state=\"pending\"}", 0},
        {"parvix_database_up", 1},
        {"parvix_alerts_active", 0}};
    for (const auto& [name, value] : figures)
        QVERIFY2(sample(scrape, name) == value, name.constData());
    QVERIFY(sample(scrape, "parvix_download_passes_total") >= 1);
    QVERIFY(httpGet(monitor, "/health").contains("\"status\":\"ok\""));
    QProcess promtool;
    promtool.start(u"promtool"_s, {u"check"_s, u"metrics"_s});
    QVERIFY2(promtool.waitForStarted(), "promtool is missing: scripts/install-deps.sh --tests");
    promtool.write(scrape);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(10000));
    QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());

    const qint64 memoryAfter = site.residentKilobytes();
    qInfo("figures: %d terminals, reads sent %d, answered %d, posted %lld; stored transits %lld, "
          "posted %lld; memory %lld kB before, %lld kB after; %d scrapes",
          Terminals, rounds * Terminals, rounds * Terminals, live.size(), site.stored().size(),
          posted, memoryBefore, memoryAfter, scrapes);
    if (MemoryIsMeaningful)
        QVERIFY2(memoryAfter < memoryBefore + 30 * 1024, "memory grew by more than 30 MB");
    QVERIFY(site.stopServer());
}

QTEST_GUILESS_MAIN(TestLoad)
#include "tst_load.moc"
