#include "posting/attendance.h"

#include "database/databasesession.h"
#include "posting/transitrecord.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

Attendance::Attendance(const DatabaseSession& session)
    : m_session(session)
{}

bool Attendance::count(qint16 Dipendente, const QDate& day, std::optional<qint64>& total,
                       Error& error) const
{
    SessionQuery query;
    if (!m_session.run(query,
                       u"SELECT COUNT(Progr) AS TotProgr From Presenze Where (Dipendente = ?) "
                       "GROUP BY DataComp HAVING (DataComp = ?)"_s,
                       {int(Dipendente), m_session.dialect().date(day)}, error))
        return false;
    total.reset();
    if (query.next())
        total = query.value(u"TotProgr"_s).toLongLong();
    return true;
}

bool Attendance::recordTransit(const Transito& transit, Error& error) const
{
    return insert(transit, transit.Posizione, error);
}

bool Attendance::derivedEntry(const Transito& transit, qint16 PresAuto, Error& error) const
{
    if (PresAuto != 1)
        return true;
    std::optional<qint64> total;
    if (!count(transit.Dipendente, transit.Data, total, error))
        return false;
    return (total && *total % 2 != 0) || insert(transit, 0, error);
}

bool Attendance::derivedExit(const Transito& transit, qint16 PresAuto, qint16 PresAutoFine,
                             Error& error) const
{
    if (PresAuto != 1 || PresAutoFine != 1)
        return true;
    std::optional<qint64> total;
    if (!count(transit.Dipendente, transit.Data, total, error))
        return false;
    return !(total && *total % 2 != 0) || insert(transit, 0, error);
}

bool Attendance::insert(const Transito& transit, qint16 Causale, Error& error) const
{
    const QVariant day = m_session.dialect().date(transit.Data);
    SessionQuery query;
    return m_session.run(query,
                         u" INSERT INTO Presenze ( Terminale, Dipendente, Data, Causale, Ora, "
                         "Minuti, Flag, DataComp, OrdComp) VALUES (?, ?, ?, ?, ?, ?, 0, ?, 0)"_s,
                         {transit.Terminale, int(transit.Dipendente), day, int(Causale),
                          int(transit.Ora), int(transit.Minuti), day},
                         error);
}
