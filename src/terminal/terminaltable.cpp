#include "terminal/terminaltable.h"

#include "app/basictext.h"
#include "app/settingsreader.h"

bool TerminalTable::read(const QString& path, Error& error)
{
    SettingsReader reader;
    if (!reader.open(path, error))
        return false;
    QStringList record;
    Error ignored;
    for (int slot = 0; slot < SlotCount && reader.read(2, record, ignored); ++slot) {
        NumTerminale[slot] = record[0];
        IPTerminale[slot] = record[1];
    }
    return true;
}

qint64 TerminalTable::number(int slot) const
{
    return Basic::Val(NumTerminale.at(slot));
}

bool TerminalTable::isActive(int slot) const
{
    return number(slot) > 0;
}

QList<LinkDirectory::Entry> TerminalTable::linkable() const
{
    QList<Entry> entries;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (isActive(slot))
            entries.append({IPTerminale[slot], static_cast<qint16>(number(slot))});
    }
    return entries;
}
