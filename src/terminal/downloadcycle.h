#pragma once

#include "terminal/collectedtransits.h"
#include "terminal/receivedmessage.h"

#include <QObject>
#include <QTimer>

class ParvixServer;

// The download cycle: Timer3 asks the ports in turn for their transit file;
// the first terminal with a file starts a pass; each terminal with a file is
// locked, listed, and told to delete its file only once its records are safe
// on disk; when the scheduler is back at the starting terminal, the pass is
// ordered by time and posted, in slices, so live reads keep being served.
// An interrupted pass is finished at the next start.
class DownloadCycle : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdleInterval = 60000;
    static constexpr int PassInterval = 2000;
    static constexpr int TransferTimeout = 60000;
    // Posting runs in slices of this many milliseconds (at least one line),
    // whatever a line costs on the backend at hand.
    static constexpr int SliceMs = 3;

    explicit DownloadCycle(ParvixServer& server, QObject* parent = nullptr);

    // Timer3 on; a pass that a stop or a crash cut short is posted first.
    void start();
    void Timer3Tick();
    void directoryReply(const ReceivedMessage& message);
    void transferMessage(const ReceivedMessage& message);
    void hold();
    // Timer3 on again, unless a transfer or a posting keeps it off.
    void resume();

    bool isPosting() const { return m_posting; }
    const QTimer& scheduler() const { return Timer3; }

Q_SIGNALS:
    void passPosted();

private:
    void beginTransfer(qint16 number, const QString& address);
    void endOfListing(qint16 number, const QString& address, const QString& m);
    // Scarico.txt gets the records of the listing not collected already.
    bool storeListing(qint16 number, Error& error);
    void abortTransfer(const QString& reason);
    void finishTransfer();
    void endPass();
    void beginPosting();
    void postSlice();
    void postLine(const CollectedTransit& line, qint64 number);
    void resumeScheduler();

    ParvixServer& m_server;
    CollectedTransits m_files;
    QTimer Timer3;
    QTimer m_transferTimeout;
    QString m_transferAddress;
    QList<CollectedTransit> m_listing; // records of the listing under way
    qint64 m_posted = 0;
    int m_token = 0; // tells this pass's marks in the database from earlier ones
    bool m_posting = false;
};
