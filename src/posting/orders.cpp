#include "posting/orders.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "database/databasesession.h"
#include "posting/transitrecord.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

QString padded(qint64 value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

QVariantList key(const Transito& t)
{
    return {int(t.Anno), t.Numero, int(t.Filiale), int(t.Progressivo)};
}

} // namespace

Orders::Orders(const DatabaseSession& session, ActivityLog& log)
    : m_session(session)
    , m_log(log)
{}

QString Orders::barCode(const Transito& t)
{
    return u"*"_s + padded(t.Anno, 2) + padded(t.Filiale, 1) + padded(t.Numero, 5) +
           padded(t.Progressivo, 1) + u"*"_s;
}

bool Orders::registerIfMissing(const Transito& t, Error& error) const
{
    SessionQuery order;
    if (!m_session.run(order,
                       u"Select * from Ordini where Anno = ? And Filiale = ? And Numero = ? And "
                       "Progressivo = ?"_s,
                       {int(t.Anno), int(t.Filiale), t.Numero, int(t.Progressivo)}, error))
        return false;
    if (order.next())
        return true;
    order.finish();
    m_log.SpY(103);
    QVariant reparto = int(t.Filiale) * 100;
    m_log.SpY(103);
    SessionQuery employee;
    if (!m_session.run(employee, u"Select * from Dipendenti where NumOrdine = ?"_s,
                       {int(t.Dipendente)}, error))
        return false;
    // An employee of the order's own branch lends the order his department.
    if (employee.next()) {
        const QVariant own = employee.value(u"Reparto"_s);
        if (!own.isNull() && Basic::Val(own.toString().left(1)) == t.Filiale)
            reparto = own;
    }
    employee.finish();
    SessionQuery insert;
    return m_session.run(insert,
                         u"INSERT INTO Ordini (Anno, Filiale, Numero, Progressivo, Data, Reparto, "
                         "Descrizione, Chiuso, CodBarre) VALUES (?, ?, ?, ?, ?, ?, ' ', 0, ?)"_s,
                         {int(t.Anno), int(t.Filiale), t.Numero, int(t.Progressivo),
                          m_session.dialect().date(t.Data), reparto, barCode(t)},
                         error);
}

bool Orders::markFinished(const Transito& t, Error& error) const
{
    return setFinito(t, 1, error) && setStato(t, 4, error);
}

bool Orders::markStarted(const Transito& t, Error& error) const
{
    if (!setStato(t, 3, error))
        return false;
    m_log.SpY(1115);
    return setFinito(t, 0, error);
}

bool Orders::setFinito(const Transito& t, int Finito, Error& error) const
{
    SessionQuery query;
    return m_session.run(query,
                         u"Update Ordini set Finito = ? where Anno = ? And Numero = ? And "
                         "Filiale = ? And Progressivo = ?"_s,
                         QVariantList{Finito} + key(t), error);
}

bool Orders::setStato(const Transito& t, int Stato, Error& error) const
{
    SessionQuery query;
    return m_session.run(query,
                         u"Update TestatePrenotazioni set Stato = ? where AnnoOrdine = ? And "
                         "NumOrdine = ? And Filiale = ? And ProgrOrdine = ?"_s,
                         QVariantList{Stato} + key(t), error);
}
