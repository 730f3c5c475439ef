#pragma once

#include "spool/spool.h"

#include <QElapsedTimer>
#include <QObject>

class ActivityLog;
class BadgeCheck;
class Clock;
class DatabaseSession;
class OperatorReport;
class PassFiles;
class TerminalRegistry;
class TransitPosting;

// What one posting run did, for the alerts and the figures.
struct PassSummary
{
    qint64 posted = 0;
    qint64 rejected = 0;
    qint64 failed = 0;
    qint64 milliseconds = 0;
    QString unpostedPath; // the file that lists the failed lines

    qint64 lines() const { return posted + rejected + failed; }
};

// The posting of stored transits: every pending line of the spool, whatever
// pass collected it, in chronological order, in slices so that live reads
// are served in between. A line's statements and its marker in the site
// database commit in one transaction, that of its slice; the spool learns of
// the commit before it is asked for (so a stop in between is settled by the
// markers), and the journal lines are written after it, at places the spool
// knows. A line ends posted, rejected or failed (rolled back, kept with its
// error); while the database cannot be reached the posting is held and the
// lines stay pending.
class PassPosting : public QObject
{
    Q_OBJECT

public:
    static constexpr int SliceMs = 3;
    static constexpr int Batch = 64; // lines read from the spool at a time

    struct Collaborators
    {
        DatabaseSession& session;
        BadgeCheck& check;
        TransitPosting& posting;
        TerminalRegistry& registry;
        ActivityLog& log;
        OperatorReport& report;
        const Clock& clock;
    };

    PassPosting(const Collaborators& with, Spool& spool, const PassFiles& files,
                QObject* parent = nullptr);

    // A run: lines a stop left in flight are settled, then every pending line
    // is posted. Ends with finished(), held() or spoolFailed().
    void begin();
    bool isPosting() const { return m_posting; }
    bool isHeld() const { return m_held; }
    // Connects to the site database and looks for the marker table (logged
    // when it is missing, and when it appears again), outside any transit.
    bool probe(Error& error);
    // Failed lines become pending again, for the next run.
    bool retryFailed(Error& error);

Q_SIGNALS:
    void finished(const PassSummary& summary);
    // `error` says why the database could not take the lines.
    void held(const Error& error);
    void spoolFailed(const Error& error);

private:
    enum class Result
    {
        Next,
        Held,
        SpoolFault
    };

    bool checkMarkerTable(Error& error);
    Result settle(Error& error);
    Result resolveInFlight(Error& error);
    Result settleJournal(Error& error);
    void postSlice();
    Result postBatch(Error& error);
    // Accepted: the line's statements ran, its journal line is given back.
    enum class Posted
    {
        Accepted,
        Rejected,
        Failed
    };
    Posted postLine(const Spool::Line& line, QByteArray& journalLine, Error& error);
    bool markerPresent(const Spool::Line& line, bool& present, Error& error);
    bool insertMarker(const QString& key, Error& error);
    void stop(Result result, const Error& error);
    void clearHold();
    void end();
    bool flush(Error& error);

    Collaborators m_with;
    Spool& m_spool;
    const PassFiles& m_files;
    QString m_journalPath;
    QList<Spool::Outcome> m_outcomes; // decided, not yet recorded in the spool
    bool m_committed = false;         // the lines committing are posted and journaled
    QList<Spool::Line> m_batch;
    qint64 m_pass = 0;
    qint64 m_posted = 0;
    qint64 m_rejected = 0;
    qint64 m_failed = 0;
    quint64 m_probedConnection = 0;
    bool m_markerTable = true;
    bool m_markerKnown = false;
    bool m_posting = false;
    bool m_held = false;
    QDateTime m_lastPrune;
    QElapsedTimer m_run;
};
