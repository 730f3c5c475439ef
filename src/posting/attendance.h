#pragma once

#include <QDate>

#include <optional>

class DatabaseSession;
struct Error;
struct Transito;

// Presenze: one row per entry or exit. Whether an employee is present follows
// from the number of rows of the day: odd means present.
class Attendance
{
public:
    explicit Attendance(const DatabaseSession& session);

    // The employee's records for the day; no value when there are none.
    bool count(qint16 Dipendente, const QDate& day, std::optional<qint64>& total,
               Error& error) const;

    // A "#C" transit, its reason code in Causale.
    bool recordTransit(const Transito& transit, Error& error) const;
    // Start of work of an absent employee (with PresAuto 1).
    bool derivedEntry(const Transito& transit, qint16 PresAuto, Error& error) const;
    // End of work of a present employee (with PresAuto and PresAutoFine 1).
    bool derivedExit(const Transito& transit, qint16 PresAuto, qint16 PresAutoFine,
                     Error& error) const;

private:
    bool insert(const Transito& transit, qint16 Causale, Error& error) const;

    const DatabaseSession& m_session;
};
