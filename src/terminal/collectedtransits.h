#pragma once

#include "app/error.h"

#include <QFile>
#include <QList>
#include <QString>

#include <memory>

// One line of Scarico.txt / ScaricoOK.txt: terminal number, "address", "record".
struct CollectedTransit
{
    qint64 NumTer = 0;
    QString IPTer;
    QString record;

    QByteArray line() const;
};

// The files of a download pass, in the working directory:
//   Scarico.txt        records of the listings completed so far (flushed to
//                      disk before a terminal is told to delete its file)
//   ScaricoOK.txt      the pass in chronological order, being posted
//   ScaricoOK.pos      how many lines of ScaricoOK.txt are posted
//   ScaricoOK_OLD.txt  the last pass posted
//   ScaricoScartati.txt records a listing carried that cannot be posted
//   ScaricoInCancellazione.txt the last listing stored whose deletion the
//                      terminal has not confirmed yet (.new while it is stored)
class CollectedTransits
{
public:
    explicit CollectedTransits(const QString& workingDirectory);

    QString path(const QString& name) const;

    // Appends a completed listing and forces it to disk.
    bool append(const QList<CollectedTransit>& listing, Error& error) const;
    // A line as written by append(); false for a line without three fields.
    static bool parse(const QByteArray& line, CollectedTransit& transit);

    // A terminal keeps its file until it confirms the deletion; a stop in
    // between would have the next pass collect the same records again. The
    // listing awaiting that confirmation is kept, and a new listing of the
    // same terminal that begins with exactly those records skips them.
    // The listing is noted before its records reach Scarico.txt and confirmed
    // after; at start-up a noted listing counts only if Scarico.txt ends with it.
    bool noteListing(const QList<CollectedTransit>& listing, Error& error) const;
    void confirmListing() const;
    void discardNotedListing() const;
    void settleListing() const;
    qsizetype alreadyCollected(const QList<CollectedTransit>& listing) const;
    void clearAwaitingDeletion() const;

    // Scarico.txt sorted into ScaricoOK.txt with progress 0, then Scarico.txt
    // emptied: from here on the pass is posted from ScaricoOK.txt alone. Only
    // each line's time and place in the file are held, never the pass itself.
    bool startPosting(Error& error) const;
    // ScaricoOK.txt read one line at a time.
    bool openPass(Error& error);
    bool nextInPass(CollectedTransit& transit);
    bool postingPending() const;
    qint64 progress() const;
    // A number that tells this pass from earlier ones (1 to 2000).
    int token() const;
    // Kept open while a pass is posted: recording a posted line is one write,
    // so a crash right after a line's commit almost never misses its record.
    void setProgress(qint64 posted);
    // ScaricoOK.txt becomes ScaricoOK_OLD.txt, an empty ScaricoOK.txt takes its place.
    void finishPosting();
    bool hasCollected() const;

    void keepRejected(const CollectedTransit& transit) const;

    // Chronological by the record's own date and time; ties keep their order.
    static void sortChronologically(QList<CollectedTransit>& lines);

private:
    QString m_folder;
    std::unique_ptr<QFile> m_progress;
    std::unique_ptr<QFile> m_pass;
    int m_token = 0;
};
