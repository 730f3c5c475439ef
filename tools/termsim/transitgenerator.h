#pragma once

#include <QDate>
#include <QStringList>

// Stored transits for a terminal's file: attendance and order transits of the
// badges given (badge 0099 is unknown on purpose, about one in ten), spread
// over the days before `today`, in shuffled order. Times are unique within a
// terminal, and terminals whose numbers differ modulo 3 never share a minute,
// so a pass has one true chronological order.
namespace TransitGenerator {
// The badges of the demo employees.
inline const QStringList DemoBadges{QStringLiteral("0042"), QStringLiteral("0043"),
                                    QStringLiteral("0044"), QStringLiteral("0045")};
QStringList generate(int terminal, int count, int days, const QDate& today,
                     const QStringList& badges = DemoBadges);
} // namespace TransitGenerator
