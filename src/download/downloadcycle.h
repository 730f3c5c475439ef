#pragma once

#include "download/passposting.h"
#include "spool/collectedtransit.h"
#include "spool/passfiles.h"
#include "spool/spool.h"
#include "terminal/receivedmessage.h"

#include <QObject>
#include <QTimer>

class ActivityLog;
class BadgeCheck;
class Clock;
class DatabaseSession;
class EventWait;
class NetworkControl;
class OperatorReport;
class TerminalCommands;
class TerminalRegistry;
class TransitPosting;

// The download cycle: Timer3 asks the ports in turn for their transit file;
// the first terminal with a file starts a pass; each terminal with a file is
// locked and listed, and told to delete its file only once the listing is
// committed to the spool; when the scheduler is back at the starting
// terminal, the pending lines are posted. A posting the database cannot take
// is held and resumed by a later tick, while collection goes on. A spool that
// cannot be written stops the cycle (live reads go on) until it can.
class DownloadCycle : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdleInterval = 60000;
    static constexpr int PassInterval = 2000;
    static constexpr int TransferTimeout = 60000;

    struct Collaborators
    {
        TerminalRegistry& registry;
        NetworkControl& control;
        TerminalCommands& commands;
        DatabaseSession& session;
        BadgeCheck& check;
        TransitPosting& posting;
        ActivityLog& log;
        OperatorReport& report;
        const Clock& clock;
        const EventWait& wait;
        QString workingDirectory; // Scarico.db and the pass files
    };

    explicit DownloadCycle(const Collaborators& with, QObject* parent = nullptr);

    // Timer3 on; lines a stop or a crash left unposted are posted first.
    void start();
    void Timer3Tick();
    void directoryReply(const ReceivedMessage& message);
    void transferMessage(const ReceivedMessage& message);
    void hold();
    // Timer3 on again, unless a transfer or a posting keeps it off.
    void resume();
    // The operator fixed what made lines fail: they are posted again.
    void retryFailed();

    bool isPosting() const { return m_posting.isPosting(); }
    // The spool's lines by state; false while it cannot be used.
    bool spoolLines(QMap<Spool::State, qint64>& counts);
    const QTimer& scheduler() const { return Timer3; }

Q_SIGNALS:
    void passPosted(const PassSummary& summary);
    // The posting waits for the database, which `error` says could not take it.
    void postingHeld(const Error& error);
    // Scarico.db cannot be used (`error` says why), or can be again (no error).
    void spoolChanged(const Error& error);

private:
    // Where the transfer under way stands, for what a time-out or a dropped
    // link leaves behind.
    enum class Stage
    {
        Listing,   // nothing of it stored yet
        Discarded, // refused, miscounted or not stored: the file stays
        Deleting,  // stored; the terminal's deletion not yet confirmed
        Deleted    // stored and deleted: only the unlocking is left
    };

    bool openSpool();
    void spoolFault(const Error& error);
    void beginTransfer(qint16 number, const QString& address);
    void endOfListing(qint16 number, const QString& address, const QString& m);
    bool storeListing(qint16 number, Error& error);
    void abortTransfer(const QString& reason);
    void finishTransfer();
    void endPass();
    void beginPosting();
    void resumeScheduler();

    Collaborators m_with;
    Spool m_spool;
    PassFiles m_files;
    PassPosting m_posting;
    QTimer Timer3;
    QTimer m_transferTimeout;
    QString m_transferAddress;
    Stage m_stage = Stage::Listing;
    QList<CollectedTransit> m_listing; // every record of the listing under way
    bool m_spoolFault = false;
};
