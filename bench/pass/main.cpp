#include "bareposting.h"
#include "benchterminals.h"
#include "benchworkspace.h"
#include "figures.h"
#include "spool/collectedtransit.h"
#include "spool/spool.h"
#include "support/sitefixture.h"
#include "transitmix.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The protocol's own waits, in seconds at full scale: the deletion a second
// after a listing, and the scheduler's tick between terminals during a pass.
constexpr double DeletionWait = 1;
constexpr double PassTick = 2;
constexpr double TimeScale = 0.01;

struct Moments
{
    qint64 firstDirectory = -1; // ns: the first terminal announced its file
    qint64 lastDeleted = -1;    // every terminal's file is gone
    qint64 ordered = -1;        // ScaricoOK.txt written: posting begins
    qint64 posted = -1;         // ScaricoOK.txt moved to ScaricoOK_OLD.txt
};

struct SpoolTimes
{
    double listing = 0;
    double posting = 0;
};

// The spool's part of the pass, alone: the listings committed as the cycle
// commits them, then per slice of the posting what it records (the intents
// of its lines, the lines of the slice before posted).
SpoolTimes spoolAlone(const QList<QList<CollectedTransit>>& listings, int linesPerSlice)
{
    QTemporaryDir folder;
    Spool spool(folder.filePath(u"Scarico.db"_s));
    bool created = false;
    Error error;
    SpoolTimes times;
    if (!spool.open({}, created, error))
        return times;
    QElapsedTimer timer;
    timer.start();
    for (const QList<CollectedTransit>& listing : listings) {
        qsizetype known = 0;
        spool.alreadyCollected(qint16(listing.first().NumTer), listing, known, error);
        spool.storeListing(qint16(listing.first().NumTer), listing, known, listing, {}, 0, error);
    }
    times.listing = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    qint64 pass = 0;
    spool.beginPass(u"Backup.txt"_s, pass, error);
    const QByteArray journalLine(60, 'j');
    QList<Spool::Line> batch;
    bool committed = false;
    while (spool.lines(Spool::State::Pending, 64, batch, error) && !batch.isEmpty()) {
        for (qsizetype from = 0; from < batch.size(); from += linesPerSlice) {
            QList<Spool::Outcome> intents;
            for (const Spool::Line& line : batch.mid(from, linesPerSlice))
                intents.append({line.id, Spool::State::Committing, {}, 0, journalLine});
            spool.record(intents, pass, committed, error);
            committed = true;
        }
    }
    spool.record({}, pass, committed, error);
    times.posting = double(timer.nsecsElapsed()) / 1e9;
    return times;
}

double seconds(qint64 from, qint64 to)
{
    return double(to - from) / 1e9;
}

qint64 windowModeIdleKilobytes()
{
    BenchWorkspace workspace(u"sqlite"_s);
    workspace.writeSettings({});
    if (!workspace.startServer(1.0, BenchWorkspace::Mode::Window))
        return 0;
    Figures::waitUntil([] { return false; }, 3000);
    return Figures::peakResidentKilobytes(workspace.serverPid());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A download pass of stored transits: listing, ordering and posting."_s);
    parser.addHelpOption();
    const QCommandLineOption perTerminalOption(
        u"per-terminal"_s, u"Stored transits per terminal (default 5527: 105,013 in all)."_s,
        u"N"_s, u"5527"_s);
    const QCommandLineOption terminalsOption(
        u"terminals"_s, u"Terminals holding transits (default 19, at most 19)."_s, u"N"_s, u"19"_s);
    const QCommandLineOption backendOption(
        u"backend"_s, u"sqlite or postgresql (default sqlite)."_s, u"NAME"_s, u"sqlite"_s);
    parser.addOptions({perTerminalOption, terminalsOption, backendOption});
    parser.process(app);
    const int perTerminal = parser.value(perTerminalOption).toInt();
    const int count = qBound(1, parser.value(terminalsOption).toInt(), 19);
    const QString backend = parser.value(backendOption);
    if (!BenchWorkspace::prepare(backend))
        return 1;

    BenchWorkspace workspace(backend);
    if (!workspace.isValid()) {
        std::printf("%s: %s\n", qPrintable(backend), qPrintable(workspace.error()));
        return 1;
    }
    // Terminals 1..count hold the transits (the simulator); terminal 20,
    // played here, reads live while the pass is posted.
    QProcess stored;
    ProcessLines storedOutput{stored};
    QList<QStringList> storedTable;
    QStringList names;
    QByteArray generate;
    for (int n = 1; n <= count; ++n) {
        names.append(u"127.0.0.%1=%2"_s.arg(10 + n).arg(n));
        generate += "generate " + QByteArray::number(n) + ' ' + QByteArray::number(perTerminal) +
                    ' ' + QByteArray::number(perTerminal / 280 + 2) + '\n';
    }
    if (!startTerminals(stored, storedOutput, workspace.files().path(), names, storedTable)) {
        std::printf("the simulated terminals did not start\n");
        return 1;
    }
    stored.write(generate);
    const QDir files(workspace.files().path());
    const auto storedFiles = [&] {
        return files.entryList({u"PASSAGGI-*.txt"_s}, QDir::Files);
    };
    const auto storedLines = [&] {
        qint64 lines = 0;
        for (const QString& name : storedFiles())
            lines += workspace.files().read(name).count('\n');
        return lines;
    };
    if (!Figures::waitUntil([&] { return storedLines() == qint64(count) * perTerminal; }, 60000)) {
        std::printf("the terminals stored %lld transits, not %lld\n", storedLines(),
                    qint64(count) * perTerminal);
        return 1;
    }
    const qint64 transits = storedLines();

    // The bare floor for this pass: its first transits in time order.
    QList<CollectedTransit> sample;
    QList<QList<CollectedTransit>> listings;
    for (const QString& name : storedFiles()) {
        listings.append(QList<CollectedTransit>());
        for (const QByteArray& line : workspace.files().read(name).split('\n'))
            if (!line.isEmpty())
                listings.last().append({listings.size(), u"127.0.0.11"_s,
                                        QChar(2) + QString::fromLatin1(line) + QChar(3)});
        sample += listings.last();
    }
    CollectedTransit::sortChronologically(sample);
    QStringList sampleRecords;
    for (qsizetype i = 0; i < qMin<qsizetype>(5000, sample.size()); ++i)
        sampleRecords.append(sample[i].record);

    BenchTerminals live(1, 20);
    workspace.writeSettings(storedTable + live.table());
    if (!workspace.startServer(TimeScale)) {
        std::printf("the server did not start\n");
        return 1;
    }
    Figures::waitUntil([] { return false; }, 300);
    const qint64 idleKb = Figures::residentKilobytes(workspace.serverPid());

    QElapsedTimer clock;
    clock.start();
    Moments at;
    const QFileInfo ordered(workspace.files().filePath(u"ScaricoOK.txt"_s));
    const QFileInfo previous(workspace.files().filePath(u"ScaricoOK_OLD.txt"_s));
    const auto size = [](QFileInfo info) {
        info.refresh();
        return info.size();
    };
    QTimer liveReads;
    int liveSent = 0;
    QObject::connect(&liveReads, &QTimer::timeout, [&] {
        if (live.linksUp() == 1)
            live.send(0, TransitMix::record(20, liveSent++));
    });
    liveReads.setInterval(200);
    const bool done = Figures::waitUntil(
        [&] {
            const qint64 now = clock.nsecsElapsed();
            if (at.firstDirectory < 0 &&
                storedOutput.lines.filter(QRegularExpression(u"-> DIR PASSAGGI \\d"_s)).size())
                at.firstDirectory = now;
            if (at.firstDirectory >= 0 && at.lastDeleted < 0 && storedFiles().isEmpty())
                at.lastDeleted = now;
            // A small pass may be posted between two looks.
            if (at.lastDeleted >= 0 && at.ordered < 0 &&
                (size(ordered) > 0 || size(previous) > 0)) {
                at.ordered = now;
                liveReads.start();
            }
            if (at.ordered >= 0 && size(ordered) == 0 && size(previous) > 0) {
                at.posted = now;
                liveReads.stop();
                return true;
            }
            return false;
        },
        3600 * 1000);
    if (!Figures::waitUntil([&] { return live.waiting(0) == 0; }, 10000))
        std::printf("    %lld live reads were not answered\n", qlonglong(live.waiting(0)));
    const qint64 afterKb = Figures::residentKilobytes(workspace.serverPid());
    const qint64 peakKb = Figures::peakResidentKilobytes(workspace.serverPid());
    workspace.stopServer();
    if (!done) {
        std::printf("the pass did not end within an hour\n");
        return 1;
    }

    QList<BarePosting::Transit> captured;
    BarePosting::Result bare;
    QString error;
    if (!BarePosting::capture(backend, sampleRecords, captured, error) ||
        !BarePosting::replay(backend, captured, true, bare, error)) {
        std::printf("bare run failed: %s\n", qPrintable(error));
        return 1;
    }
    const double listingWaits = count * (DeletionWait + PassTick) * TimeScale;
    const double listing = seconds(at.firstDirectory, at.lastDeleted) - listingWaits;
    const double ordering = seconds(at.lastDeleted, at.ordered) - PassTick * TimeScale;
    const double posting = seconds(at.ordered, at.posted);
    std::printf("pass %s: %d terminals x %d = %lld stored transits\n", qPrintable(backend), count,
                perTerminal, transits);
    std::printf("    first directory reply to last posted: %.2f s\n",
                seconds(at.firstDirectory, at.posted));
    std::printf("    listing:  %.2f s (+ %.2f s of protocol waits): %.0f records/s\n", listing,
                listingWaits, double(transits) / listing);
    std::printf("    ordering: %.2f s (+ %.2f s of protocol waits)\n", ordering,
                PassTick * TimeScale);
    std::printf("    posting:  %.2f s: %.0f transits/s; bare (first %lld in transactions) %.0f "
                "transits/s; pass/bare %.2f\n",
                posting, double(transits) / posting, qlonglong(bare.transits), bare.perSecond(),
                double(transits) / posting / bare.perSecond());
    // Slices of a few milliseconds: as many lines each as the posting managed.
    const int linesPerSlice = qMax(1, int(double(transits) / posting * 0.003));
    const SpoolTimes spool = spoolAlone(listings, linesPerSlice);
    std::printf("    spool alone: listing %.2f s (%.0f %% of the listing), posting %.2f s (%.0f %% "
                "of the posting)\n",
                spool.listing, 100 * spool.listing / listing, spool.posting,
                100 * spool.posting / posting);
    const QList<double> latencies = live.latenciesMs();
    std::printf("    live reads during posting: %lld, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                qlonglong(latencies.size()), Figures::percentile(latencies, 50),
                Figures::percentile(latencies, 99), Figures::percentile(latencies, 100));
    std::printf("    headless memory: %s idle, %s after the pass, %s peak\n",
                qPrintable(Figures::megabytes(idleKb)), qPrintable(Figures::megabytes(afterKb)),
                qPrintable(Figures::megabytes(peakKb)));
    std::printf("    window mode memory, idle: %s\n",
                qPrintable(Figures::megabytes(windowModeIdleKilobytes())));
    BenchWorkspace::stopPostgreSQL();
    return 0;
}
