#pragma once

#include <QString>

// A transit record as a terminal sends it; each field as it is written, so a
// test may put any text in any field. Unless told otherwise: 07:30 on
// 06/12/26 (the test clock's day), badge 0042, attendance, position 1.
struct TestRecord
{
    QString hhmm = QStringLiteral("0730");
    QString ddmmyy = QStringLiteral("061226");
    QString badge = QStringLiteral("0042");
    QString function = QStringLiteral("#C");
    QString position = QStringLiteral("00001");
    QString order = QStringLiteral("000000000"); // year 2, branch 1, number 5, progressive 1

    // The message: the 32 characters a terminal stores, between STX and ETX.
    QString text() const;
};
