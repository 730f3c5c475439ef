#include "terminal/terminalcommands.h"

#include "app/eventwait.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalregistry.h"

using namespace Qt::StringLiterals;

TerminalCommands::TerminalCommands(TerminalRegistry& registry, NetworkControl& control,
                                   const EventWait& wait, QObject* parent)
    : QObject(parent)
    , m_registry(registry)
    , m_control(control)
    , m_wait(wait)
{}

void TerminalCommands::send(qint16 NumTer, const QString& IPTer, const QString& text)
{
    m_registry.Comando = text;
    m_registry.LenComando = static_cast<qint32>(text.size());
    m_registry.EsitoInvio = m_control.SendText(IPTer, NumTer, m_registry.Comando,
                                               static_cast<qint16>(m_registry.LenComando));
    InvioMessaggio(m_registry.EsitoInvio);
}

void TerminalCommands::CercaFile(qint16 NumTer, const QString& IPTer)
{
    sendCommand(NumTer, IPTer, u"DIR PASSAGGI"_s);
}

void TerminalCommands::Blocca(qint16 NumTer, const QString& IPTer)
{
    sendCommand(NumTer, IPTer, u"CONSIDLE"_s);
}

void TerminalCommands::Scarico(qint16 NumTer, const QString& IPTer)
{
    sendCommand(NumTer, IPTer, u"TYPE PASSAGGI"_s);
}

void TerminalCommands::Cancella(qint16 NumTer, const QString& IPTer)
{
    m_registry.IPCorrente = IPTer;
    m_registry.NumCorrente = NumTer;
    m_wait.Pausa(1.0, this,
                 [this, NumTer, IPTer] { sendCommand(NumTer, IPTer, u"DEL PASSAGGI"_s); });
}

void TerminalCommands::Sblocca(qint16 NumTer, const QString& IPTer)
{
    sendCommand(NumTer, IPTer, u"OFFLINE"_s);
}

void TerminalCommands::InvioMessaggio(qint16 Ret)
{
    Q_UNUSED(Ret);
}

// Other sends may run during Cancella's wait, so the registers are set again
// right before each command goes out.
void TerminalCommands::sendCommand(qint16 NumTer, const QString& IPTer, const QString& command)
{
    m_registry.IPCorrente = IPTer;
    m_registry.NumCorrente = NumTer;
    send(NumTer, IPTer, command);
}
