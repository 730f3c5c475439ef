#include "terminal/terminalregistry.h"

#include "app/basictext.h"

using namespace Qt::StringLiterals;

QString TerminalRegistry::portEntryText(qint64 number, const QString& address)
{
    return u"[Num: "_s + QString::number(number) + u" - IP: "_s + address + u"] Connesso\r\n"_s;
}

TerminalRegistry::PortEntry TerminalRegistry::readPortEntry(const QString& entry)
{
    PortEntry result;
    result.number = static_cast<qint16>(Basic::Val(Basic::Mid(entry, 7, 2).trimmed()));
    const qsizetype p = entry.indexOf(u']') + 1;
    if (p > 15)
        result.address = Basic::Mid(entry, 15, p - 15).trimmed();
    return result;
}

void TerminalRegistry::addPort(qint64 number, const QString& address)
{
    const QString entry = portEntryText(number, address);
    m_ports.append(entry);
    Q_EMIT portAdded(entry);
}

void TerminalRegistry::clearPorts()
{
    m_ports.clear();
    Q_EMIT portsCleared();
}

std::optional<qint64> TerminalRegistry::numberOf(const QString& address) const
{
    for (int slot = 0; slot < TerminalTable::SlotCount; ++slot) {
        if (table.isActive(slot) && table.IPTerminale[slot] == address)
            return table.number(slot);
    }
    return std::nullopt;
}
