#pragma once

#include "live/transitcontext.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ParvixServer;
struct Error;

// Controlla: may this transit be posted? It looks the badge up, counts the
// day's attendance records or looks the order up, leaves the verdict in
// BadgeErrato and fills the transit context. A rejection is decided at once;
// its display text and log lines go out one second later, to the terminal of
// the read, while every other terminal is served.
class BadgeCheck : public QObject
{
    Q_OBJECT

public:
    explicit BadgeCheck(ParvixServer& server, QObject* parent = nullptr);

    void Controlla(const TransitRead& read, TransitContext& context);

    // "%E", character 14, the text, character 255.
    static QString displayText(const QString& text);

private:
    bool checkAttendance(const TransitRead& read, TransitContext& context, Error& error);
    bool checkOrder(const TransitRead& read, TransitContext& context, Error& error);
    void reject(const TransitRead& read, const QString& text, const QStringList& logLines);
    void fail(const Error& error);

    ParvixServer& m_server;
};
