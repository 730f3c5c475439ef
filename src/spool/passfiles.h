#pragma once

#include "app/error.h"
#include "spool/collectedtransit.h"

class Spool;

// The files operators and other software read, in the working directory,
// written from the spool in the line format of a pass:
//   Scarico.txt            the lines collected and not yet ordered for posting
//   ScaricoOK.txt          the lines being posted, in posting order
//   ScaricoOK_OLD.txt      the last run posted
//   ScaricoScartati.txt    records a listing carried that cannot be posted
//   ScaricoNonRegistrati.txt  the failed lines, each with its error
class PassFiles
{
public:
    static const QString Collected; // Scarico.txt
    static const QString Ordered;   // ScaricoOK.txt

    explicit PassFiles(const QString& folder);

    QString path(const QString& name) const;

    void startCollecting() const;
    void appendCollected(const QList<CollectedTransit>& lines) const;
    // ScaricoOK.txt from the pending lines; Scarico.txt emptied, its lines being in it.
    bool writeOrdered(Spool& spool, Error& error) const;
    // ScaricoOK.txt becomes ScaricoOK_OLD.txt and an empty ScaricoOK.txt takes its place.
    void finishPosting() const;
    bool writeUnposted(Spool& spool, Error& error) const;

    // A set-aside record, as the terminal sent it: a double quote or a
    // control character cannot break the line.
    static QByteArray setAsideLine(const CollectedTransit& transit);
    qint64 setAsideOffset() const;
    // The set-aside records the spool holds as unwritten, each written once.
    bool writeSetAside(Spool& spool, Error& error) const;

private:
    QString m_folder;
};
