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

private:
    bool post(const TransitRead& read, TransitContext& context, QString& Etichetta, Error& error);

    ParvixServer& m_server;
};
