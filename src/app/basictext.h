#pragma once

#include <QString>

// The text functions the system's rules are written in (1-based positions),
// so that "Mid(m, 5, 4)" in a rule reads the same in the code.
namespace Basic {
// Mid(text, start, length): length < 0 means "to the end"; never fails.
QString Mid(const QString& text, qsizetype start, qsizetype length = -1);
QString Left(const QString& text, qsizetype length);
QString Right(const QString& text, qsizetype length);
// Trim removes blanks only, not other white space.
QString Trim(const QString& text);
// Str(n): a number that is not negative gets a leading blank.
QString Str(qint64 number);
// Val(text): the number that the leading characters spell; 0 when none.
qint64 Val(const QString& text);
} // namespace Basic
