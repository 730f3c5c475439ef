#include "posting/transitposting.h"

#include "app/activitylog.h"
#include "app/clock.h"
#include "app/datedline.h"
#include "app/errorcatalogue.h"
#include "app/server.h"
#include "live/databasesession.h"
#include "posting/attendance.h"
#include "posting/journal.h"
#include "posting/orders.h"
#include "posting/transitrecord.h"
#include "posting/worksheets.h"
#include "terminal/terminalregistry.h"

using namespace Qt::StringLiterals;

namespace {

bool isOrderTransit(const QString& function)
{
    return function == u"#A"_s || function == u"#B"_s || function == u"#D"_s || function == u"00"_s;
}

} // namespace

TransitPosting::TransitPosting(ParvixServer& server, QObject* parent)
    : QObject(parent)
    , m_server(server)
{}

void TransitPosting::CalcolaMov(const TransitRead& read, TransitContext& context)
{
    Error error;
    run(read, context, nullptr, error);
}

bool TransitPosting::CalcolaMov(const TransitRead& read, TransitContext& context,
                                QByteArray& journalLine, Error& error)
{
    return run(read, context, &journalLine, error);
}

bool TransitPosting::run(const TransitRead& read, TransitContext& context, QByteArray* journalLine,
                         Error& error)
{
    TerminalRegistry& registry = m_server.registry();
    registry.BadgeErrato = 0;
    QString Etichetta;
    if (post(read, context, Etichetta, error, journalLine))
        return true;
    registry.BadgeErrato = 1;
    m_server.log().LogFile(Etichetta + ErrorCatalogue::text(error));
    return false;
}

QString TransitPosting::journalPath() const
{
    return DatedLine::inFolder(m_server.workingDirectory(), m_server.settings().CartellaBackup,
                               u"Backup.txt"_s);
}

bool TransitPosting::post(const TransitRead& read, TransitContext& context, QString& Etichetta,
                          Error& error, QByteArray* journalLine)
{
    TerminalRegistry& registry = m_server.registry();
    ActivityLog& log = m_server.log();
    const Settings& settings = m_server.settings();
    const DatabaseSession& session = m_server.session();
    registry.IPCorrente = read.IPTer;
    registry.NumCorrente = read.NumTer;
    log.SpY(101);
    // The date cannot fail to decode; the other fields can.
    log.SpY(102);
    Transito t;
    if (!TransitRecord::decode(read.RecordTransito, read.NumTer, settings.NumFiliale,
                               m_server.clock().now().date().year(), t, error))
        return false;
    t.Dipendente = context.DipCorrente;
    context.PosizCorrente = t.Posizione;
    WorkSheets::OrderLine line;
    log.SpY(103);

    const WorkSheets sheets(session, log);
    const Attendance attendance(session);
    const Orders orders(session, log);
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
        log.SpY(104);
        if (!sheets.closeOnOrderTransit(t, context.OrdineCorrente, error))
            return false;
        if (t.Funzione == u"#A"_s || t.Funzione == u"00"_s) {
            log.SpY(109);
            if (!attendance.derivedEntry(t, settings.PresAuto, error) ||
                !sheets.open(t, line, error))
                return false;
            context.OrdineCorrente = QString::number(t.Numero);
            log.SpY(1114);
            if (!orders.markStarted(t, error))
                return false;
            log.SpY(112);
        } else {
            log.SpY(113);
            if (!attendance.derivedExit(t, settings.PresAuto, settings.PresAutoFine, error))
                return false;
            log.SpY(113);
        }
    }
    log.SpY(114);
    if (journalLine) {
        *journalLine = Journal::line(t, line.type, line.note);
        return true;
    }
    Journal journal(journalPath(), log);
    if (!journal.append(t, line.type, line.note, error))
        return false;
    log.SpY(116);
    return true;
}
