#pragma once

#include <QString>

#include <array>

// The configured terminals: a number (as text) and an address per slot.
class TerminalTable
{
public:
    static constexpr int SlotCount = 21;

    std::array<QString, SlotCount> NumTerminale;
    std::array<QString, SlotCount> IPTerminale;

    // The numeric reading of the slot's number text (leading digits, empty = 0).
    qint64 number(int slot) const;
    // Empty, zero and negative numbers mark an unused slot.
    bool isActive(int slot) const;
};
