#include "posting/transitposting.h"

#include "app/activitylog.h"
#include "app/clock.h"
#include "app/datedline.h"
#include "app/errorcatalogue.h"
#include "app/settings.h"
#include "database/databasesession.h"
#include "posting/attendance.h"
#include "posting/journal.h"
#include "posting/orders.h"
#include "posting/transitrecord.h"
#include "posting/worksheets.h"

using namespace Qt::StringLiterals;

namespace {

bool isOrderTransit(const QString& function)
{
    return function == u"#A"_s || function == u"#B"_s || function == u"#D"_s || function == u"00"_s;
}

} // namespace

TransitPosting::TransitPosting(ActivityLog& log, const DatabaseSession& session,
                               const Settings& settings, const Clock& clock,
                               const QString& workingDirectory, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_session(session)
    , m_settings(settings)
    , m_clock(clock)
    , m_workingDirectory(workingDirectory)
{}

bool TransitPosting::CalcolaMov(const TransitRead& read, TransitContext& context)
{
    Error error;
    return run(read, context, nullptr, error);
}

bool TransitPosting::CalcolaMov(const TransitRead& read, TransitContext& context,
                                QByteArray& journalLine, Error& error)
{
    return run(read, context, &journalLine, error);
}

bool TransitPosting::run(const TransitRead& read, TransitContext& context, QByteArray* journalLine,
                         Error& error)
{
    QString Etichetta;
    if (post(read, context, Etichetta, error, journalLine))
        return true;
    m_log.LogFile(Etichetta + ErrorCatalogue::text(error));
    return false;
}

QString TransitPosting::journalPath() const
{
    return DatedLine::inFolder(m_workingDirectory, m_settings.CartellaBackup, u"Backup.txt"_s);
}

bool TransitPosting::post(const TransitRead& read, TransitContext& context, QString& Etichetta,
                          Error& error, QByteArray* journalLine)
{
    m_log.SpY(101);
    // The date cannot fail to decode; the other fields can.
    m_log.SpY(102);
    Transito t;
    if (!TransitRecord::decode(read.RecordTransito, read.NumTer, m_settings.NumFiliale,
                               m_clock.now().date().year(), t, error))
        return false;
    t.Dipendente = context.DipCorrente;
    context.PosizCorrente = t.Posizione;
    WorkSheets::OrderLine line;
    m_log.SpY(103);

    const WorkSheets sheets(m_session, m_log);
    const Attendance attendance(m_session);
    const Orders orders(m_session, m_log);
    if (t.Funzione == u"#C"_s) {
        if (context.StatoPresenza == 2 && !sheets.closeOnAttendanceExit(t, error))
            return false;
        Etichetta = u"Mov Presenze"_s;
        t.Progressivo = 0;
        if (!attendance.recordTransit(t, error))
            return false;
    }
    if (t.Funzione == u"#A"_s && !orders.registerIfMissing(t, error))
        return false;
    if (t.Funzione == u"#D"_s && !orders.markFinished(t, error))
        return false;
    if (isOrderTransit(t.Funzione)) {
        m_log.SpY(104);
        if (!sheets.closeOnOrderTransit(t, context.OrdineCorrente, error))
            return false;
        if (t.Funzione == u"#A"_s || t.Funzione == u"00"_s) {
            m_log.SpY(109);
            if (!attendance.derivedEntry(t, m_settings.PresAuto, error) ||
                !sheets.open(t, line, error))
                return false;
            context.OrdineCorrente = QString::number(t.Numero);
            m_log.SpY(1114);
            if (!orders.markStarted(t, error))
                return false;
            m_log.SpY(112);
        } else {
            m_log.SpY(113);
            if (!attendance.derivedExit(t, m_settings.PresAuto, m_settings.PresAutoFine, error))
                return false;
            m_log.SpY(113);
        }
    }
    m_log.SpY(114);
    if (journalLine) {
        *journalLine = Journal::line(t, line.type, line.note);
        return true;
    }
    Journal journal(journalPath(), m_log);
    if (!journal.append(t, line.type, line.note, error))
        return false;
    m_log.SpY(116);
    return true;
}
