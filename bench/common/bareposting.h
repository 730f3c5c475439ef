#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The floor of what a live read costs: the statements the server runs for
// each transit, captured from the server core on a scratch copy of the demo
// database, then run again on a fresh copy with the same driver, one
// connection, each statement prepared once, and nothing else: no network,
// no log, no dispatch.
namespace BarePosting {

struct Statement
{
    QString text;
    QVariantList values;
};
using Transit = QList<Statement>;

struct Result
{
    qsizetype transits = 0;
    qsizetype statements = 0;
    double seconds = 0;
    double perSecond() const { return seconds > 0 ? double(transits) / seconds : 0; }
};

// The records are read in turn at terminal 1; false with `error` on failure.
bool capture(const QString& backend, const QStringList& records, QList<Transit>& transits,
             QString& error);
// `inTransactions`: each transit in a transaction of its own, as a download
// pass posts them (live reads run without). The best of three runs.
bool replay(const QString& backend, const QList<Transit>& transits, bool inTransactions,
            Result& result, QString& error);

} // namespace BarePosting
