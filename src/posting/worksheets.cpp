#include "posting/worksheets.h"

#include "app/activitylog.h"
#include "app/errorcatalogue.h"
#include "live/databasesession.h"
#include "posting/transitrecord.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString OpenSheets =
    u"Select * from SchedeLav Where Data = ? And Dipendente = ? And Causale = 0 And OraFine is null"_s;

// The time of day a driver returns for OraInizio: a date-time, or SQLite's text.
QTime timeOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().section(u' ', -1).left(8);
        const QTime time = QTime::fromString(text, text.size() > 5 ? u"HH:mm:ss"_s : u"HH:mm"_s);
        return time;
    }
    return value.toDateTime().time();
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

// Closes exactly the sheet that started at `start`'s minute. Matching the
// minute rather than the stored value keeps a start written with seconds
// (by another program) closable.
bool WorkSheets::close(const Transito& t, const QVariant& start, Error& error) const
{
    const QTime begin = timeOf(start);
    const QDateTime from = TransitRecord::clockTime(begin.hour(), begin.minute());
    const int totale = (t.Ora * 60 + t.Minuti) - (begin.hour() * 60 + begin.minute());
    const Dialect& dialect = m_session.dialect();
    SessionQuery update;
    if (!m_session.run(
            update,
            dialect.updateFirst(u"SchedeLav"_s, u"OraFine = ?, Totale = ?, InLavoraz = 0"_s,
                                u"Data = ? And Dipendente = ? And Causale = 0 And "
                                "OraInizio >= ? And OraInizio < ? And OraFine is null"_s),
            {dialect.dateTime(TransitRecord::clockTime(t.Ora, t.Minuti)), totale,
             dialect.date(t.Data), int(t.Dipendente), dialect.dateTime(from),
             dialect.dateTime(from.addSecs(60))},
            error))
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
        line.note += text.toString().trimmed();
    }
    line.note.truncate(50);
    return true;
}
