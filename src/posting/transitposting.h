#pragma once

#include "live/transitcontext.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ParvixServer;
struct Error;

// CalcolaMov: posts one accepted transit — work sheets, attendance, orders —
// in the fixed order of work of its function code, then one journal line.
// The first failure ends the posting with its label and error; what was
// written before it stays, and no journal line is written.
class TransitPosting : public QObject
{
    Q_OBJECT

public:
    explicit TransitPosting(ParvixServer& server, QObject* parent = nullptr);

    void CalcolaMov(const TransitRead& read, TransitContext& context);
    // A stored transit: the statements only, in the caller's transaction; its
    // journal line is given back, to be written once the transaction commits.
    // A failure is logged as above and given back too.
    bool CalcolaMov(const TransitRead& read, TransitContext& context, QByteArray& journalLine,
                    Error& error);
    QString journalPath() const;

private:
    // `journalLine` null: the journal line is written here, as for a live read.
    bool run(const TransitRead& read, TransitContext& context, QByteArray* journalLine,
             Error& error);
    bool post(const TransitRead& read, TransitContext& context, QString& Etichetta, Error& error,
              QByteArray* journalLine);

    ParvixServer& m_server;
};
