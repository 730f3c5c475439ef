#include "bareposting.h"
#include "benchworkspace.h"
#include "transitmix.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

// Posts a number of live reads of the benchmark's mix straight into the
// database, as the floor bench/live compares itself with.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"The bare cost of posting transits, per backend."_s);
    parser.addHelpOption();
    const QCommandLineOption transitsOption(u"transits"_s, u"Transits to post (default 2000)."_s,
                                            u"N"_s, u"2000"_s);
    const QCommandLineOption backendOption(
        u"backend"_s, u"sqlite, postgresql or all (default all)."_s, u"NAME"_s, u"all"_s);
    parser.addOptions({transitsOption, backendOption});
    parser.process(app);

    const int count = parser.value(transitsOption).toInt();
    QStringList records;
    for (int k = 0; k < count; ++k)
        records.append(TransitMix::record(k % 20 + 1, k / 20));
    int failures = 0;
    for (const QString& backend : BenchWorkspace::backends(parser.value(backendOption))) {
        if (!BenchWorkspace::prepare(backend)) {
            ++failures;
            continue;
        }
        QList<BarePosting::Transit> transits;
        BarePosting::Result result;
        QString error;
        if (!BarePosting::capture(backend, records, transits, error) ||
            !BarePosting::replay(backend, transits, false, result, error)) {
            std::printf("%s: %s\n", qPrintable(backend), qPrintable(error));
            ++failures;
            continue;
        }
        std::printf("bare %-10s %lld transits, %lld statements in %.3f s: %.0f transits/s\n",
                    qPrintable(backend), qlonglong(result.transits), qlonglong(result.statements),
                    result.seconds, result.perSecond());
    }
    BenchWorkspace::stopPostgreSQL();
    return failures == 0 ? 0 : 1;
}
