#pragma once

#include <QDate>
#include <QStringList>

// Stored transits for a terminal's file: attendance and order transits of the
// demo employees (badge 0099 is unknown on purpose, about one in ten), spread
// over the days before `today`, in shuffled order. Times are unique within a
// terminal, and terminals whose numbers differ modulo 3 never share a minute,
// so a pass has one true chronological order.
namespace TransitGenerator {
QStringList generate(int terminal, int count, int days, const QDate& today);
}
