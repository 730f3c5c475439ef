#include "terminal/connections.h"

#include "app/errorcatalogue.h"
#include "app/eventwait.h"
#include "app/operatorreport.h"
#include "app/portstatusfile.h"
#include "app/settings.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalcommands.h"
#include "terminal/terminalregistry.h"

using namespace Qt::StringLiterals;

Connections::Connections(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
{
    Timer4.setInterval(m_with.wait.scaled(Timer4Interval));
    Timer5.setInterval(m_with.wait.scaled(Timer5Interval));
    Timer5.setSingleShot(true);
    connect(&Timer4, &QTimer::timeout, this, &Connections::Timer4Tick);
    connect(&Timer5, &QTimer::timeout, this, &Connections::Collega);
    NetworkControl& control = m_with.control;
    connect(&control, &NetworkControl::OnConnect, this, &Connections::OnConnect);
    connect(&control, &NetworkControl::OnStateChange, this, &Connections::OnStateChange);
}

void Connections::Collega()
{
    TerminalRegistry& registry = m_with.registry;
    registry.clearPorts();
    m_with.portStatus.StatoPorte(QString(), 1);
    const qint32 count = m_with.settings.NumTerminali;
    for (int slot = 0; slot < count; ++slot) {
        // The table has no slot past the last: the terminal addressed last is
        // named, once, and the pass ends there.
        if (slot >= TerminalTable::SlotCount) {
            reportLinkError(registry.NumCorrente, ErrorNumber::SubscriptOutOfRange,
                            ErrorCatalogue::description(ErrorNumber::SubscriptOutOfRange));
            break;
        }
        registry.IPCorrente = registry.table.IPTerminale[slot];
        registry.NumCorrente = registry.table.number(slot);
        if (registry.NumCorrente <= 0)
            continue;
        registry.ModoApertura = u"X"_s;
        registry.EsitoInvio =
            m_with.control.OpenLink(registry.IPCorrente, registry.ModoApertura, registry.Canale);
        if (registry.EsitoInvio == NetworkControl::BadAddress)
            reportLinkError(registry.NumCorrente, registry.EsitoInvio,
                            u"Indirizzo non valido: "_s + registry.IPCorrente);
        if (registry.EsitoInvio == NetworkControl::Ok)
            m_with.commands.send(static_cast<qint16>(registry.NumCorrente), registry.IPCorrente,
                                 u"%XI"_s);
    }
}

// Links come up in any order after Collega has moved on, so the entry names
// the terminal that the table gives for the address, not the one addressed last.
void Connections::OnConnect(const QString& IPTer)
{
    const TerminalRegistry& registry = m_with.registry;
    enterPort(registry.numberOf(IPTer).value_or(registry.NumCorrente), IPTer);
}

void Connections::OnStateChange(qint16 State, const QString& IPTer, qint16 NumTer)
{
    if (State != 3)
        return;
    enterPort(NumTer, IPTer);
    TerminalRegistry& registry = m_with.registry;
    registry.ModoApertura = u"X"_s;
    registry.EsitoInvio = m_with.control.OpenLink(IPTer, registry.ModoApertura, registry.Canale);
}

void Connections::startReconnection()
{
    m_with.registry.ContaCollega = 0;
    Timer4.start();
}

void Connections::startFirstReconnect()
{
    Timer5.start();
}

void Connections::holdReconnection()
{
    Timer4.stop();
}

void Connections::resumeReconnection()
{
    Timer4.start();
}

void Connections::Timer4Tick()
{
    TerminalRegistry& registry = m_with.registry;
    if (registry.ContaCollega < 15) {
        ++registry.ContaCollega;
        return;
    }
    Collega();
    registry.ContaCollega = 0;
}

void Connections::reportLinkError(qint64 number, int error, const QString& description)
{
    m_with.report.reportError(u"Num Term:"_s + QString::number(number) + u" Errore:"_s +
                              QString::number(error) + u" - "_s + description);
}

void Connections::enterPort(qint64 number, const QString& IPTer)
{
    m_with.registry.addPort(number, IPTer);
    m_with.portStatus.StatoPorte(TerminalRegistry::portEntryText(number, IPTer).chopped(2), 0);
}
