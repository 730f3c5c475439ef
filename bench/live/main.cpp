#include "bareposting.h"
#include "benchterminals.h"
#include "benchworkspace.h"
#include "figures.h"
#include "support/freeport.h"
#include "support/httpclient.h"
#include "transitmix.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

struct Options
{
    int reads = 500;      // per terminal, as fast as confirmations come back
    int seconds = 10;     // of reads at the fixed rate
    double perSecond = 5; // per terminal, fixed rate
    bool scrape = false;  // the monitor's endpoint on, scraped every second
};

void printLatencies(const char* what, const QList<double>& ms)
{
    std::printf("    %-28s p50 %.2f ms, p99 %.2f ms, max %.2f ms (%lld reads)\n", what,
                Figures::percentile(ms, 50), Figures::percentile(ms, 99),
                Figures::percentile(ms, 100), qlonglong(ms.size()));
}

// One backend, one number of terminals: the closed loop, then the fixed rate.
bool run(const QString& backend, int count, const Options& options)
{
    BenchWorkspace workspace(backend);
    if (!workspace.isValid()) {
        std::printf("%s: %s\n", qPrintable(backend), qPrintable(workspace.error()));
        return false;
    }
    BenchTerminals terminals(count, 1);
    workspace.writeSettings(terminals.table());
    const quint16 metricsPort = freeLoopbackPort();
    const QStringList endpoint{u"--metrics-port"_s, QString::number(metricsPort)};
    if (!workspace.startServer(1.0, BenchWorkspace::Mode::Headless,
                               options.scrape ? endpoint : QStringList()) ||
        !Figures::waitUntil([&] { return terminals.linksUp() == count; }, 15000)) {
        std::printf("%s: the server did not link to %d terminals\n", qPrintable(backend), count);
        return false;
    }
    const qint64 idleKb = Figures::residentKilobytes(workspace.serverPid());
    // A monitor asking for /metrics every second while the reads run.
    int scrapes = 0;
    qint64 scrapedBytes = 0;
    QTimer scraper;
    QObject::connect(&scraper, &QTimer::timeout, [&] {
        const QByteArray figures = httpGet(metricsPort, "/metrics");
        scrapes += figures.isEmpty() ? 0 : 1;
        scrapedBytes += figures.size();
    });
    if (options.scrape)
        scraper.start(1000);

    QList<int> next(count, 0);
    QStringList closedRecords;
    const auto sendNext = [&](int i) {
        const QString record = TransitMix::record(i + 1, next[i]++);
        closedRecords.append(record);
        terminals.send(i, record);
    };
    QObject context;
    QObject::connect(&terminals, &BenchTerminals::answered, &context, [&](int i) {
        if (next[i] < options.reads)
            sendNext(i);
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        sendNext(i);
    const int closedTotal = count * options.reads;
    const bool closedDone = Figures::waitUntil(
        [&] { return terminals.confirmed() + terminals.refused() == closedTotal; }, 600000);
    const double closedSeconds = double(clock.nsecsElapsed()) / 1e9;
    const QList<double> closedLatencies = terminals.latenciesMs();
    const int closedConfirmed = terminals.confirmed();
    const int closedRefused = terminals.refused();
    QObject::disconnect(&terminals, nullptr, &context, nullptr);
    if (!closedDone) {
        std::printf("%s: only %d of %d reads answered\n", qPrintable(backend),
                    terminals.confirmed() + terminals.refused(), closedTotal);
        return false;
    }

    // Fixed rate: each terminal reads every 1/rate seconds, the terminals
    // spread evenly over that period.
    terminals.clearFigures();
    const int periodMs = int(1000 / options.perSecond);
    const int ticks = int(options.seconds * options.perSecond);
    QList<QTimer*> timers;
    for (int i = 0; i < count; ++i) {
        auto* timer = new QTimer(&context);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(periodMs);
        QObject::connect(timer, &QTimer::timeout, &context, [&, i, timer, ticks] {
            terminals.send(i, TransitMix::record(i + 1, next[i]++));
            if (next[i] >= options.reads + ticks)
                timer->stop();
        });
        QTimer::singleShot(periodMs * i / count, timer, qOverload<>(&QTimer::start));
        timers.append(timer);
    }
    const int fixedTotal = count * ticks;
    if (!Figures::waitUntil(
            [&] { return terminals.confirmed() + terminals.refused() == fixedTotal; },
            options.seconds * 1000 + 60000))
        std::printf("    only %d of %d reads at the fixed rate were answered\n",
                    terminals.confirmed() + terminals.refused(), fixedTotal);
    const qint64 peakKb = Figures::peakResidentKilobytes(workspace.serverPid());
    scraper.stop();
    const QString scraped =
        options.scrape
            ? u"%1 scrapes of %2 bytes"_s.arg(scrapes).arg(scrapedBytes / qMax(1, scrapes))
            : u"no endpoint"_s;
    workspace.stopServer();

    QList<BarePosting::Transit> captured;
    BarePosting::Result bare;
    QString error;
    if (!BarePosting::capture(backend, closedRecords, captured, error) ||
        !BarePosting::replay(backend, captured, false, bare, error)) {
        std::printf("%s: bare run failed: %s\n", qPrintable(backend), qPrintable(error));
        return false;
    }
    const double throughput = closedTotal / closedSeconds;
    std::printf("live %-10s %2d terminal(s), %s\n", qPrintable(backend), count,
                qPrintable(scraped));
    std::printf("    %-28s %d reads (%d confirmed, %d refused) in %.3f s: %.0f reads/s\n",
                "as fast as answered:", closedTotal, closedConfirmed, closedRefused, closedSeconds,
                throughput);
    printLatencies("latency as fast as answered:", closedLatencies);
    std::printf("    %-28s %.0f transits/s; live/bare %.2f\n",
                "bare, same transits:", bare.perSecond(), throughput / bare.perSecond());
    printLatencies(qPrintable(u"latency at %1/s per terminal:"_s.arg(options.perSecond)),
                   terminals.latenciesMs());
    std::printf("    %-28s %d confirmed, %d refused\n", "fixed rate:", terminals.confirmed(),
                terminals.refused());
    std::printf("    %-28s %s idle, %s peak\n",
                "server memory:", qPrintable(Figures::megabytes(idleKb)),
                qPrintable(Figures::megabytes(peakKb)));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Live reads through the headless server: throughput and latency per backend."_s);
    parser.addHelpOption();
    const QCommandLineOption readsOption(
        u"reads"_s, u"Reads per terminal as fast as answered (default 500)."_s, u"N"_s, u"500"_s);
    const QCommandLineOption secondsOption(
        u"seconds"_s, u"Seconds of reads at the fixed rate (default 10)."_s, u"S"_s, u"10"_s);
    const QCommandLineOption rateOption(
        u"rate"_s, u"Reads per second per terminal at the fixed rate (default 5)."_s, u"R"_s,
        u"5"_s);
    const QCommandLineOption backendOption(
        u"backend"_s, u"sqlite, postgresql or all (default all)."_s, u"NAME"_s, u"all"_s);
    const QCommandLineOption terminalsOption(
        u"terminals"_s, u"Numbers of terminals to run, comma-separated (default 1,20)."_s,
        u"LIST"_s, u"1,20"_s);
    const QCommandLineOption scrapeOption(
        u"scrape"_s, u"Serve the monitor's endpoint and scrape /metrics every second."_s);
    parser.addOptions(
        {readsOption, secondsOption, rateOption, backendOption, terminalsOption, scrapeOption});
    parser.process(app);

    const Options options{parser.value(readsOption).toInt(), parser.value(secondsOption).toInt(),
                          parser.value(rateOption).toDouble(), parser.isSet(scrapeOption)};
    int failures = 0;
    for (const QString& backend : BenchWorkspace::backends(parser.value(backendOption))) {
        if (!BenchWorkspace::prepare(backend)) {
            ++failures;
            continue;
        }
        for (const QString& count : parser.value(terminalsOption).split(u',')) {
            // Terminal numbers 1 to 20: number 0 marks an unused slot.
            failures += !run(backend, qBound(1, count.toInt(), 20), options);
            std::fflush(stdout);
        }
    }
    BenchWorkspace::stopPostgreSQL();
    return failures == 0 ? 0 : 1;
}
