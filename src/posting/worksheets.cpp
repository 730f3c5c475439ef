#include "posting/worksheets.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/errorcatalogue.h"
#include "database/databasesession.h"
#include "posting/transitrecord.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString OpenSheets =
    u"Select * from SchedeLav Where Data = ? And Dipendente = ? And Causale = 0 And OraFine is null"_s;

// A start as a driver returns it: a date-time, or SQLite's text (with or
// without seconds, with or without its day).
QDateTime startOf(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return QDateTime(value.toDateTime().date(), value.toDateTime().time(), Qt::UTC);
    const QString text = value.toString().trimmed();
    const QString day = text.contains(u' ') ? text.section(u' ', 0, 0) : u"1900-01-01"_s;
    const QString clock = text.section(u' ', -1).left(8);
    return QDateTime(QDate::fromString(day, Qt::ISODate),
                     QTime::fromString(clock, clock.size() > 5 ? u"HH:mm:ss"_s : u"HH:mm"_s),
                     Qt::UTC);
}

// Minutes from one date-time to another as the count of minute boundaries
// crossed: 08:00:30 to 12:30 is 270.
qint64 minutesBetween(const QDateTime& from, const QDateTime& to)
{
    const auto minuteOf = [](const QDateTime& moment) {
        return QDate(1900, 1, 1).daysTo(moment.date()) * 1440 + moment.time().hour() * 60 +
               moment.time().minute();
    };
    return minuteOf(to) - minuteOf(from);
}

} // namespace

WorkSheets::WorkSheets(const DatabaseSession& session, ActivityLog& log)
    : m_session(session)
    , m_log(log)
{}

bool WorkSheets::closeOnOrderTransit(const Transito& t, QString& OrdineCorrente, Error& error) const
{
    SessionQuery sheets;
    if (!m_session.run(sheets, OpenSheets + u" Order by OraInizio"_s,
                       {m_session.dialect().date(t.Data), int(t.Dipendente)}, error))
        return false;
    m_log.SpY(105);
    if (!sheets.next())
        return true;
    const QVariant start = sheets.value(u"OraInizio"_s);
    const QVariant ordine = sheets.value(u"Ordine"_s);
    sheets.finish();
    m_log.SpY(106);
    m_log.SpY(107);
    if (!close(t, start, error))
        return false;
    if (ordine.isNull()) {
        error = ErrorCatalogue::make(ErrorNumber::InvalidUseOfNull);
        return false;
    }
    bool numeric = false;
    const qint64 number = ordine.toLongLong(&numeric);
    OrdineCorrente = numeric ? QString::number(number) : u"0"_s;
    m_log.SpY(108);
    return true;
}

bool WorkSheets::closeOnAttendanceExit(const Transito& t, Error& error) const
{
    SessionQuery sheets;
    if (!m_session.run(sheets, OpenSheets, {m_session.dialect().date(t.Data), int(t.Dipendente)},
                       error))
        return false;
    if (!sheets.next())
        return true;
    const QVariant start = sheets.value(u"OraInizio"_s);
    sheets.finish();
    return close(t, start, error);
}

// Closes the very sheet that was read: matched by its start as stored, so a
// start written with seconds, on another day or left Null by other software
// is closed too (a Null start leaves Totale Null).
bool WorkSheets::close(const Transito& t, const QVariant& start, Error& error) const
{
    const Dialect& dialect = m_session.dialect();
    const QDateTime end = TransitRecord::clockTime(t.Ora, t.Minuti);
    QVariantList values{dialect.dateTime(end), QVariant(QMetaType::fromType<int>()),
                        dialect.date(t.Data), int(t.Dipendente)};
    QString startCondition = u"OraInizio is null"_s;
    if (!start.isNull()) {
        values[1] = int(minutesBetween(startOf(start), end));
        // Text is compared as it is stored; a date-time as this backend binds one.
        values.append(start.typeId() == QMetaType::QString ? start
                                                           : dialect.dateTime(startOf(start)));
        startCondition = u"OraInizio = ?"_s;
    }
    SessionQuery update;
    if (!m_session.run(update,
                       dialect.updateFirst(u"SchedeLav"_s,
                                           u"OraFine = ?, Totale = ?, InLavoraz = 0"_s,
                                           u"Data = ? And Dipendente = ? And Causale = 0 And "_s +
                                               startCondition + u" And OraFine is null"_s),
                       values, error))
        return false;
    if (update.numRowsAffected() == 1)
        return true;
    error = ErrorCatalogue::make(ErrorNumber::NoCurrentRecord);
    return false;
}

bool WorkSheets::open(const Transito& t, OrderLine& line, Error& error) const
{
    if (!findOrderLine(t, line, error))
        return false;
    m_log.SpY(110);
    m_log.SpY(111);
    const Dialect& dialect = m_session.dialect();
    QString columns = u"Anno, Filiale, Ordine, Progressivo, Dipendente, Data, PosizLav, Flag, "
                      "Terminale, Causale, OraInizio, Inlavoraz"_s;
    QString placeholders = u"?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, 1"_s;
    QVariantList values{
        int(t.Anno),       int(t.Filiale),
        t.Numero,          int(t.Progressivo),
        int(t.Dipendente), dialect.date(t.Data),
        int(t.Posizione),  int(line.type),
        t.Terminale,       dialect.dateTime(TransitRecord::clockTime(t.Ora, t.Minuti))};
    if (!line.note.isEmpty()) {
        columns += u", Note"_s;
        placeholders += u", ?"_s;
        values.append(line.note);
    }
    m_log.SpY(1112);
    SessionQuery insert;
    if (!m_session.run(insert,
                       u"INSERT INTO SchedeLav (%1) VALUES (%2)"_s.arg(columns, placeholders),
                       values, error))
        return false;
    m_log.SpY(1113);
    return true;
}

// The order line's type, and its texts joined up to the first missing one.
bool WorkSheets::findOrderLine(const Transito& t, OrderLine& line, Error& error) const
{
    SessionQuery query;
    if (!m_session.run(
            query,
            u"Select * From RigheOrdini where Anno = ? And Numero = ? And Filiale = ? "
            "And Progressivo = ? And Posizione = ?"_s,
            {int(t.Anno), t.Numero, int(t.Filiale), int(t.Progressivo), int(t.Posizione)}, error))
        return false;
    line = OrderLine();
    if (!query.next())
        return true;
    const QVariant tipo = query.value(u"Tipo"_s);
    if (!tipo.isNull() && !TransitRecord::number(tipo.toString(), line.type, error))
        return false;
    for (const QString& column : {u"Testo1"_s, u"Testo2"_s, u"Testo3"_s, u"Testo4"_s}) {
        const QVariant text = query.value(column);
        if (text.isNull())
            break;
        line.note += Basic::Trim(text.toString()); // blanks only, as the system trims
    }
    line.note.truncate(50);
    return true;
}
