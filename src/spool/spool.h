#pragma once

#include "app/error.h"
#include "spool/collectedtransit.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

class QSqlDatabase;
class QSqlQuery;

// Scarico.db: the server's own embedded database of stored transits, from the
// listing that collects them to the posting that consumes them. Every change
// of state is one transaction; a listing is forced to disk before the
// terminal is told to delete its file. Lines are keyed by the spool's random
// identity and a sequence that never repeats, so a key names one transit for
// ever, across restarts and a spool made anew.
class Spool
{
public:
    // What becomes of a stored transit.
    enum class State
    {
        Pending = 0,    // to be posted
        Committing = 1, // its site transaction was about to commit: the marker tells
        JournalDue = 2, // posted; its journal line may be missing
        Posted = 3,
        Rejected = 4,  // the badge check refused it
        Failed = 5,    // a posting statement failed: kept with its error
        Uncertain = 6, // in flight at a crash, with no marker to tell: for the operator
    };

    struct Line
    {
        qint64 id = 0;
        CollectedTransit transit;
        QString error;
        qint64 journalAt = 0;
        QByteArray journalLine;
        QString journalPath;
        qint64 pass = 0;
        qint64 moment = 0;
    };

    // A line's new state, recorded with others in one transaction.
    struct Outcome
    {
        qint64 id = 0;
        State state = State::Pending;
        QString error;
        qint64 journalAt = 0;
        QByteArray journalLine; // kept while the journal line may be missing
        qint64 pass = 0;        // 0: that of record()
    };

    struct SetAside
    {
        qint64 id = 0;
        QByteArray line;
        qint64 fileAt = 0;
    };

    // Records found in the files of an earlier version, taken in once.
    struct Legacy
    {
        QList<CollectedTransit> pending;
        QList<CollectedTransit> awaiting; // a listing whose deletion was not confirmed
    };

    static constexpr int SchemaVersion = 1;

    explicit Spool(const QString& path);
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Opens the spool. A new one is created with its identity, and `legacy`
    // is asked for what to take in, in the same transaction.
    bool open(const std::function<Legacy()>& legacy, bool& created, Error& error);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }

    // The line's key in the site database's marker table: the spool's
    // identity, the line's moment (so keys come in posting order) and number.
    QString key(const Line& line) const;

    // How many leading records of this listing the terminal still held from
    // listings whose deletion it never confirmed: those are collected already.
    bool alreadyCollected(qint16 terminal, const QList<CollectedTransit>& listing, qsizetype& count,
                          Error& error);
    // One durable transaction: the listing (every record the terminal sent,
    // in order) awaits the terminal's deletion, `lines` (its records after
    // the first `skip` that can be posted) become pending, and `setAside`
    // (the others) is to be written at `setAsideAt` of its file.
    bool storeListing(qint16 terminal, const QList<CollectedTransit>& listing, qsizetype skip,
                      const QList<CollectedTransit>& lines, const QList<QByteArray>& setAside,
                      qint64 setAsideAt, Error& error);
    // The terminal confirmed the deletion of its file.
    bool confirmDeletion(qint16 terminal, Error& error);
    bool unwrittenSetAside(QList<SetAside>& records, Error& error);
    bool setAsideWritten(qint64 upToId, Error& error);

    // A posting run, with the journal its lines are written to.
    bool beginPass(const QString& journalPath, qint64& pass, Error& error);
    bool endPass(qint64 pass, Error& error);
    // Lines in a state, in posting order (their moment, then their listing).
    bool lines(State state, qint64 limit, QList<Line>& lines, Error& error);
    bool forEach(State state, const std::function<void(const Line&)>& visit, Error& error);
    bool count(State state, qint64& count, Error& error);
    // Every line by the state recorded on it, for the figures (one quick look
    // along the state index; a line committing shows as pending).
    bool countByState(QMap<State, qint64>& counts, Error& error);
    // One transaction: first, when `committed`, every line of the pass still
    // committing is posted (its commit and its journal line are done); then
    // the outcomes. `pass` 0: each line keeps the pass it had.
    bool record(const QList<Outcome>& outcomes, qint64 pass, bool committed, Error& error);
    // Failed lines become pending again; `count` says how many.
    bool retryFailed(qint64& count, Error& error);
    // Posted and rejected lines of passes ended before `before` are let go,
    // with the listings and passes nothing refers to any more.
    bool prune(const QDateTime& before, Error& error);

private:
    bool prepare(const std::function<Legacy()>& legacy, bool& created, Error& error);
    QSqlDatabase database() const;
    bool exec(QSqlQuery& query, const QString& statement, const QVariantList& values,
              Error& error) const;
    bool exec(const QString& statement, const QVariantList& values, Error& error) const;
    bool select(State state, qint64 limit, const std::function<void(const Line&)>& visit,
                Error& error);
    bool transaction(bool durable, const std::function<bool(Error&)>& work, Error& error);
    bool create(const Legacy& legacy, Error& error);
    bool addLines(qint16 terminal, const QString& address, const QList<CollectedTransit>& records,
                  Error& error);
    bool replaceAwaiting(qint16 terminal, const QList<CollectedTransit>& records, Error& error);

    QString m_path;
    QString m_connection;
    QString m_identity;
};
