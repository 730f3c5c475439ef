#pragma once

#include "live/transitcontext.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ParvixServer;

// A complete live read, from the dispatch to the end of its database
// session: Open_DB, Controlla, then, when accepted, whatever serves accepted
// transits (posting and confirmation) inside the same session, then Close_DB.
class LiveReadRoad : public QObject
{
    Q_OBJECT

public:
    explicit LiveReadRoad(ParvixServer& server, QObject* parent = nullptr);

    void handle(const TransitRead& read);

Q_SIGNALS:
    // Runs at once, with the session still open.
    void accepted(const TransitRead& read, TransitContext& context);

private:
    ParvixServer& m_server;
};
