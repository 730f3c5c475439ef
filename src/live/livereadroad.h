#pragma once

#include "posting/transitread.h"

#include <QObject>

class BadgeCheck;
class Confirmation;
class DatabaseSession;
class TerminalRegistry;
class TransitPosting;

// A complete live read, from the dispatch to the end of its database
// session: Open_DB, Controlla, then, when accepted, CalcolaMov and Conferma,
// then Close_DB. The read and its context are values of this one read.
class LiveReadRoad : public QObject
{
    Q_OBJECT

public:
    struct Collaborators
    {
        DatabaseSession& session;
        BadgeCheck& check;
        TransitPosting& posting;
        Confirmation& confirmation;
        TerminalRegistry& registry;
    };

    // What became of a read: confirmed to the terminal, rejected with a
    // display text, or failed (the database, a field or the posting).
    enum class Outcome
    {
        Confirmed,
        Rejected,
        Failed
    };
    Q_ENUM(Outcome)

    explicit LiveReadRoad(const Collaborators& with, QObject* parent = nullptr);

    void handle(const TransitRead& read);

Q_SIGNALS:
    // `seconds`: from the read to its confirmation, or to the end of its handling.
    void handled(LiveReadRoad::Outcome outcome, double seconds);

private:
    Collaborators m_with;
};
