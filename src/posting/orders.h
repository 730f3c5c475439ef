#pragma once

class ActivityLog;
class DatabaseSession;
class QString;
struct Error;
struct Transito;

// Ordini and TestatePrenotazioni: an order a start of work names is created
// when missing; a finished order is marked with its booking header.
class Orders
{
public:
    Orders(const DatabaseSession& session, ActivityLog& log);

    bool registerIfMissing(const Transito& transit, Error& error) const;
    bool markFinished(const Transito& transit, Error& error) const;
    // The booking header and the order are in progress again.
    bool markStarted(const Transito& transit, Error& error) const;

    // "*", year (2 digits at least), branch (1), number (5), progressive (1), "*".
    static QString barCode(const Transito& transit);

private:
    bool setFinito(const Transito& transit, int Finito, Error& error) const;
    bool setStato(const Transito& transit, int Stato, Error& error) const;

    const DatabaseSession& m_session;
    ActivityLog& m_log;
};
