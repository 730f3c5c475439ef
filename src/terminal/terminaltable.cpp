#include "terminal/terminaltable.h"

#include "app/basictext.h"

qint64 TerminalTable::number(int slot) const
{
    return Basic::Val(NumTerminale.at(slot));
}

bool TerminalTable::isActive(int slot) const
{
    return number(slot) > 0;
}
