#include "live/confirmation.h"

#include "app/activitylog.h"
#include "app/settings.h"
#include "live/badgecheck.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalcommands.h"
#include "terminal/terminalregistry.h"

using namespace Qt::StringLiterals;

Confirmation::Confirmation(TerminalRegistry& registry, TerminalCommands& commands, ActivityLog& log,
                           const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_registry(registry)
    , m_commands(commands)
    , m_log(log)
    , m_settings(settings)
{}

void Confirmation::Conferma(const TransitRead& read, const TransitContext& c)
{
    TerminalRegistry& registry = m_registry;
    registry.IPCorrente = read.IPTer;
    registry.NumCorrente = read.NumTer;
    const QString badge = u"KTessera n. "_s + QString::number(c.NumTessera);
    const QString& function = read.CodiceFunzione;
    if (registry.BadgeErrato != 0) {
        answer(read, u"KBadge Errato"_s, u"[3]"_s);
    } else if (function == u"#A"_s || function == u"#B"_s || function == u"00"_s ||
               function == u"#D"_s) {
        const QString position = QString::number(c.PosizCorrente);
        answer(read,
               m_settings.ModoTarga.toUpper() == u"TARGA"_s
                   ? badge + u"|Ord: "_s + c.OrdineCorrente + u" P: "_s + position
                   : badge + u"|"_s + c.OrdTarga.left(9) + u" P:"_s + position,
               u"[0]"_s);
    } else if (function == u"#C"_s) {
        const QString time = c.OraTransito + u":"_s + c.MinTransito;
        answer(read,
               c.StatoPresenza == 2 ? badge + u"|  Esce <-] "_s + time
                                    : badge + u"| Entra ->] "_s + time,
               u"["_s + QString::number(c.StatoPresenza) + u"]"_s);
    }
    m_commands.InvioMessaggio(registry.EsitoInvio);
}

// Sent also while a file transfer runs; a refused send is logged by its reason.
void Confirmation::answer(const TransitRead& read, const QString& text, const QString& code)
{
    m_commands.send(read.NumTer, read.IPTer, BadgeCheck::displayText(text));
    const qint16 result = m_registry.EsitoInvio;
    if (result != NetworkControl::Ok)
        m_log.LogFile(NetworkControl::describe(result));
    m_log.LogFile(code);
}
