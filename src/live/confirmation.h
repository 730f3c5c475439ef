#pragma once

#include "live/transitcontext.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ParvixServer;

// Conferma: the display text that answers an accepted live read (badge with
// entry or exit time, or with order and position) and its result code in the
// log. A posting that failed is answered "KBadge Errato".
class Confirmation : public QObject
{
    Q_OBJECT

public:
    explicit Confirmation(ParvixServer& server, QObject* parent = nullptr);

    void Conferma(const TransitRead& read, const TransitContext& context);

private:
    void answer(const TransitRead& read, const QString& text, const QString& code);

    ParvixServer& m_server;
};
