#pragma once

#include "terminal/netctl/linkdirectory.h"

#include <QString>

#include <array>

struct Error;

// The configured terminals: a number (as text) and an address per slot.
class TerminalTable final : public LinkDirectory
{
public:
    static constexpr int SlotCount = 21;

    std::array<QString, SlotCount> NumTerminale;
    std::array<QString, SlotCount> IPTerminale;

    // Record k fills slot k, for at most 21 records; reading stops quietly at
    // the end of the file or at a short record. Only a failed open is an error.
    bool read(const QString& path, Error& error);
    // The numeric reading of the slot's number text (leading digits, empty = 0).
    qint64 number(int slot) const;
    // Empty, zero and negative numbers mark an unused slot.
    bool isActive(int slot) const;
    QList<Entry> linkable() const override;
};
