#pragma once

#include "live/transitcontext.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ParvixServer;

// A complete live read, from the dispatch to the end of its database
// session: Open_DB, Controlla, then, when accepted, CalcolaMov and Conferma,
// then Close_DB. The read and its context are values of this one read.
class LiveReadRoad : public QObject
{
    Q_OBJECT

public:
    explicit LiveReadRoad(ParvixServer& server, QObject* parent = nullptr);

    void handle(const TransitRead& read);

private:
    ParvixServer& m_server;
};
