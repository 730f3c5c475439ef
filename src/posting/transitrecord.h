#pragma once

#include "app/error.h"

#include <QDateTime>
#include <QString>

// One transit as the posting uses it, decoded from the 34-character record:
// character 2, HHMM, two unread digits, DDMMYY, badge (4), function code (2),
// position or reason (5), order year (2), branch (1), order number (5),
// progressive (1), character 3.
struct Transito
{
    qint16 Ora = 0;
    qint16 Minuti = 0;
    QDate Data;
    QString DataTesto; // dd/mm/yyyy
    QString Funzione;
    qint16 Posizione = 0;
    qint16 Anno = 0;
    qint16 Filiale = 0;
    qint32 Numero = 0;
    qint16 Progressivo = 0;
    double Terminale = 0;
    qint16 Dipendente = 0; // the employee the check found for the badge
};

namespace TransitRecord {

inline constexpr qsizetype Length = 34;

// The lenient reading of a numeric field: blanks, tabs and line feeds are
// ignored anywhere, the longest numeric prefix counts (no leading digits
// gives 0), rounded half to even; error 6 when it does not fit 16 bits.
bool number(const QString& field, qint16& value, Error& error);
// The strict whole number: digits with blanks around them, else error 13.
bool wholeNumber(const QString& field, qint32& value, Error& error);
// Positions 8-13 (DDMMYY) with the two-digit-year window (00-29 → 2000s,
// 30-99 → 1900s) and calendar roll-over: 000000 is 30 November 1999.
QDate date(const QString& record);
QString dateText(const QDate& date);
// A time of day as the work sheets store it: on 1 January 1900.
QDateTime clockTime(int hour, int minute);

// Decodes the record for the posting; branch 0 becomes `NumFiliale` and
// year 0 the current year's last two digits.
bool decode(const QString& record, double NumTer, qint16 NumFiliale, int currentYear,
            Transito& transit, Error& error);

} // namespace TransitRecord
