#pragma once

#include "posting/transitcontext.h"
#include "posting/transitread.h"

#include <QObject>

#include "app/error.h"

class ActivityLog;
class DatabaseSession;
class EventWait;
class TerminalCommands;
class TerminalRegistry;
struct Settings;

// What the check decided about one transit.
struct Verdict
{
    enum class Kind
    {
        Accepted,
        Rejected, // its display text goes to the terminal one second later
        Failed    // a statement or a field failed: `error`, logged already
    };
    Kind kind = Kind::Accepted;
    Error error;
};

// Controlla: may this transit be posted? It looks the badge up, counts the
// day's attendance records or looks the order up, leaves the verdict in
// BadgeErrato (and returns it) and fills the transit context. A rejection is decided at once;
// its display text and log lines go out one second later, to the terminal of
// the read, while every other terminal is served.
class BadgeCheck : public QObject
{
    Q_OBJECT

public:
    struct Collaborators
    {
        TerminalRegistry& registry;
        TerminalCommands& commands;
        DatabaseSession& session;
        ActivityLog& log;
        const Settings& settings;
        const EventWait& wait;
    };

    explicit BadgeCheck(const Collaborators& with, QObject* parent = nullptr);

    Verdict Controlla(const TransitRead& read, TransitContext& context);

    // "%E", character 14, the text, character 255.
    static QString displayText(const QString& text);

private:
    Verdict checkAttendance(const TransitRead& read, TransitContext& context);
    Verdict checkOrder(const TransitRead& read, TransitContext& context);
    Verdict reject(const TransitRead& read, const QString& text, const QStringList& logLines);
    Verdict fail(const Error& error);

    Collaborators m_with;
};
