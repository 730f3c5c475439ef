#include "terminal/messagedispatch.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/operatorreport.h"
#include "app/switches.h"
#include "terminal/connections.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalregistry.h"

using namespace Qt::StringLiterals;

namespace {

constexpr QChar StartOfText(2);
constexpr QChar EndOfText(3);
constexpr qsizetype RecordLength = 34;

} // namespace

MessageDispatch::MessageDispatch(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
{
    connect(&m_with.control, &NetworkControl::OnDataArrival, this, &MessageDispatch::OnDataArrival);
}

void MessageDispatch::OnDataArrival(const QString& IPTer, const QString& Data, qint16 NumTer)
{
    const QString m = normalise(IPTer, Data);
    // Terminal numbers index the per-terminal counters, which hold 0 to 20.
    const bool known = NumTer >= 0 && NumTer < TerminalTable::SlotCount;

    if (known && Basic::Mid(m, 5, 4).toUpper() == u"TRAX"_s)
        m_with.connections.enterPort(NumTer, IPTer);
    if (m_with.switches.OPT1)
        echo(IPTer, NumTer, m);
    const QString sender = u"["_s + IPTer + u"] Term:"_s + Basic::Str(NumTer);
    m_with.log.logReceived(m, sender + u" - Msg: "_s + m);
    if (!known) {
        m_with.log.LogFile(sender +
                           u" - terminale fuori dall'intervallo 0-20: messaggio ignorato"_s);
        return;
    }

    TerminalRegistry& registry = m_with.registry;
    registry.IPRicevuto = IPTer;
    registry.NumRicevuto = NumTer;
    const ReceivedMessage message{NumTer, IPTer, m};
    if (Basic::Left(Basic::Trim(m), 3) == u"DIR"_s) {
        Q_EMIT directoryReply(message);
        return;
    }
    if (registry.InScarico && registry.TermInScarico == NumTer) {
        Q_EMIT transferMessage(message);
        return;
    }
    if (m.startsWith(StartOfText) && m.endsWith(EndOfText) && m.size() == RecordLength) {
        registry.RecordTransito = m;
        registry.CodiceFunzione = Basic::Mid(m, 18, 2);
        Q_EMIT liveRead(TransitRead{NumTer, IPTer, m, registry.CodiceFunzione});
    }
}

// Link type 1 carries one leading character to drop; unknown types carry nothing usable.
QString MessageDispatch::normalise(const QString& IPTer, const QString& Data) const
{
    switch (m_with.control.LinkType(IPTer)) {
    case 1:
        return Basic::Mid(Data, 2);
    case 2:
        return Data;
    default:
        return QString();
    }
}

void MessageDispatch::echo(const QString& IPTer, qint16 NumTer, const QString& m)
{
    m_with.report.addMessage(u"["_s + IPTer + u"] Term:"_s + Basic::Str(NumTer) + u"\r\n"_s);
    m_with.report.addMessage(m + u"\r\n"_s);
}
