#include "live/badgecheck.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/errorcatalogue.h"
#include "app/eventwait.h"
#include "app/settings.h"
#include "database/databasesession.h"
#include "posting/attendance.h"
#include "posting/transitrecord.h"
#include "terminal/terminalcommands.h"
#include "terminal/terminalregistry.h"

#include <QSqlError>
#include <QSqlQuery>

#include <limits>

using namespace Qt::StringLiterals;

BadgeCheck::BadgeCheck(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
{}

QString BadgeCheck::displayText(const QString& text)
{
    return u"%E"_s + QChar(14) + text + QChar(255);
}

Verdict BadgeCheck::Controlla(const TransitRead& read, TransitContext& context)
{
    TerminalRegistry& registry = m_with.registry;
    registry.BadgeErrato = 0;
    registry.IPCorrente = read.IPTer;
    registry.NumCorrente = read.NumTer;
    context = TransitContext();
    context.NumTessera = static_cast<qint16>(Basic::Val(Basic::Mid(read.RecordTransito, 14, 4)));

    Error error;
    SessionQuery employee;
    if (!m_with.session.run(employee,
                            u"SELECT NumOrdine, Collaudo from Dipendenti Where NumBadge = ?"_s,
                            {int(context.NumTessera)}, error))
        return fail(error);
    if (!employee.next()) {
        if (employee.lastError().isValid())
            return fail(m_with.session.failure(employee.lastError()));
        return reject(read, u"KBadge Errato"_s, {u"Badge Errato"_s, u"[3]"_s});
    }
    const QVariant key = employee.value(u"NumOrdine"_s);
    const QVariant collaudo = employee.value(u"Collaudo"_s);
    employee.finish();
    // The employee's key is 16 bits: never narrowed, never a Null taken for 0.
    bool numeric = false;
    const qlonglong number = key.toLongLong(&numeric);
    if (key.isNull())
        return fail(ErrorCatalogue::make(ErrorNumber::InvalidUseOfNull));
    if (!numeric)
        return fail(ErrorCatalogue::make(ErrorNumber::TypeMismatch));
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
        return fail(ErrorCatalogue::make(ErrorNumber::Overflow));
    context.DipCorrente = static_cast<qint16>(number);
    context.FlagCollaudo = collaudo.isNull() ? u"N"_s : collaudo.toString();

    return read.CodiceFunzione == u"#C"_s ? checkAttendance(read, context)
                                          : checkOrder(read, context);
}

Verdict BadgeCheck::checkAttendance(const TransitRead& read, TransitContext& context)
{
    context.OraTransito = Basic::Mid(read.RecordTransito, 2, 2);
    context.MinTransito = Basic::Mid(read.RecordTransito, 4, 2);
    context.StatoPresenza = 1;
    std::optional<qint64> total;
    Error error;
    if (!Attendance(m_with.session)
             .count(context.DipCorrente, TransitRecord::date(read.RecordTransito), total, error))
        return fail(error);
    // An odd number of records that day means the employee is in: this is an exit.
    if (total && *total % 2 != 0)
        context.StatoPresenza = 2;
    return Verdict();
}

Verdict BadgeCheck::checkOrder(const TransitRead& read, TransitContext& context)
{
    const QString& record = read.RecordTransito;
    const qint64 branch = Basic::Val(Basic::Mid(record, 27, 1));
    context.OrdFiliale = QString::number(branch == 0 ? m_with.settings.NumFiliale : branch);
    qint32 number = 0;
    Error error;
    if (!TransitRecord::wholeNumber(Basic::Mid(record, 28, 5), number, error))
        return fail(error);
    context.OrdineCorrente = QString::number(number);
    context.OrdAnno = QString::number(Basic::Val(Basic::Mid(record, 25, 2)));
    context.OrdProgr = QString::number(Basic::Val(Basic::Mid(record, 33, 1)));

    ActivityLog& log = m_with.log;
    log.SpY(201);
    SessionQuery order;
    if (!m_with.session.run(
            order,
            u"Select * From Ordini Where Anno = ? And Numero = ? And "
            "Filiale = ? And Progressivo = ?"_s,
            {context.OrdAnno.toInt(), number, context.OrdFiliale.toInt(), context.OrdProgr.toInt()},
            error))
        return fail(error);
    log.SpY(202);
    const QString notFound = u"KOrdine n. "_s + context.OrdineCorrente + u"|      Errato"_s;
    if (!order.next()) {
        if (order.lastError().isValid())
            return fail(m_with.session.failure(order.lastError()));
        // A start of work creates a missing order; an end of work may name none.
        if (number > 0 && read.CodiceFunzione == u"#A"_s)
            return Verdict();
        if (number <= 0 && read.CodiceFunzione == u"#B"_s)
            return Verdict();
        if (number > 0)
            log.SpY(205);
        return reject(read, notFound, {u"[1]"_s});
    }
    const QVariant targa = order.value(u"Targa"_s);
    if (!targa.isNull())
        context.OrdTarga = targa.toString();
    log.SpY(203);
    const QVariant chiuso = order.value(u"Chiuso"_s);
    if (!chiuso.isNull() && chiuso.toInt() != 0) {
        log.SpY(204);
        const QString closed = m_with.settings.ModoTarga.toUpper() == u"TARGA"_s
                                   ? u"KOrdine n. "_s + context.OrdineCorrente + u"|      Chiuso"_s
                                   : u"KOrdine "_s + context.OrdTarga.left(9) + u"|      Chiuso"_s;
        return reject(read, closed, {u"[2]"_s});
    }
    if (read.CodiceFunzione == u"#D"_s && context.FlagCollaudo == u"N"_s)
        return reject(read, u"K    Tessera    |  NON ABILITATA"_s, {u"[2]"_s});
    return Verdict();
}

// The verdict counts at once; the answer follows one second later.
Verdict BadgeCheck::reject(const TransitRead& read, const QString& text,
                           const QStringList& logLines)
{
    m_with.registry.BadgeErrato = 1;
    m_with.wait.Pausa(1.0, this, [this, read, text, logLines] {
        TerminalRegistry& registry = m_with.registry;
        // No display text while a terminal's file is being transferred.
        if (!registry.InScarico) {
            registry.IPCorrente = read.IPTer;
            registry.NumCorrente = read.NumTer;
            m_with.commands.send(read.NumTer, read.IPTer, displayText(text));
        }
        for (const QString& line : logLines)
            m_with.log.LogFile(line);
        m_with.commands.InvioMessaggio(registry.EsitoInvio);
    });
    return Verdict{Verdict::Kind::Rejected, Error()};
}

Verdict BadgeCheck::fail(const Error& error)
{
    m_with.registry.BadgeErrato = 1;
    m_with.log.LogFile(ErrorCatalogue::text(error));
    return Verdict{Verdict::Kind::Failed, error};
}
