#include "posting/transitrecord.h"

#include "app/basictext.h"
#include "app/errorcatalogue.h"

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace TransitRecord {

namespace {

// The longest prefix that reads as a number: sign, digits, point, exponent.
double numericPrefix(const QString& text)
{
    qsizetype end = 0;
    const auto digitsFrom = [&](qsizetype i) {
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
            ++i;
        return i;
    };
    if (end < text.size() && (text[end] == u'+' || text[end] == u'-'))
        ++end;
    const qsizetype integerEnd = digitsFrom(end);
    qsizetype mantissaEnd = integerEnd;
    if (mantissaEnd < text.size() && text[mantissaEnd] == u'.')
        mantissaEnd = digitsFrom(mantissaEnd + 1);
    if (mantissaEnd == end || (integerEnd == end && mantissaEnd == integerEnd + 1))
        return 0; // no digits at all
    qsizetype exponentEnd = mantissaEnd;
    if (exponentEnd < text.size() && (text[exponentEnd] == u'e' || text[exponentEnd] == u'E')) {
        qsizetype i = exponentEnd + 1;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        const qsizetype digitsEnd = digitsFrom(i);
        if (digitsEnd > i)
            exponentEnd = digitsEnd;
    }
    return text.left(exponentEnd).toDouble();
}

} // namespace

bool number(const QString& field, qint16& value, Error& error)
{
    QString compact = field;
    compact.remove(u' ').remove(u'\t').remove(u'\n');
    const double rounded = std::nearbyint(numericPrefix(compact));
    if (!(rounded >= std::numeric_limits<qint16>::min() &&
          rounded <= std::numeric_limits<qint16>::max())) {
        error = ErrorCatalogue::make(ErrorNumber::Overflow);
        return false;
    }
    value = static_cast<qint16>(rounded);
    return true;
}

bool wholeNumber(const QString& field, qint32& value, Error& error)
{
    const QString trimmed = field.trimmed();
    bool ok = !trimmed.isEmpty();
    for (const QChar c : trimmed)
        ok = ok && c.isDigit() && c.unicode() < 128;
    if (ok)
        value = trimmed.toInt(&ok);
    if (!ok)
        error = ErrorCatalogue::make(ErrorNumber::TypeMismatch);
    return ok;
}

QDate date(const QString& record)
{
    Error ignored;
    qint16 day = 0, month = 0, year = 0;
    number(Basic::Mid(record, 8, 2), day, ignored);
    number(Basic::Mid(record, 10, 2), month, ignored);
    number(Basic::Mid(record, 12, 2), year, ignored);
    const int fullYear = year < 30 ? 2000 + year : 1900 + year;
    return QDate(fullYear, 1, 1).addMonths(month - 1).addDays(day - 1);
}

QString dateText(const QDate& date)
{
    return date.toString(u"dd/MM/yyyy"_s);
}

QDateTime clockTime(int hour, int minute)
{
    // UTC: a date in 1900 must not pick up a historical local offset.
    return QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC).addSecs(hour * 3600 + minute * 60);
}

bool decode(const QString& record, double NumTer, qint16 NumFiliale, int currentYear,
            Transito& transit, Error& error)
{
    Transito decoded;
    // In the posting's order: the first field that fails gives the error.
    if (!number(Basic::Mid(record, 27, 1), decoded.Filiale, error) ||
        !wholeNumber(Basic::Mid(record, 28, 5), decoded.Numero, error) ||
        !number(Basic::Mid(record, 25, 2), decoded.Anno, error) ||
        !number(Basic::Mid(record, 33, 1), decoded.Progressivo, error) ||
        !number(Basic::Mid(record, 2, 2), decoded.Ora, error) ||
        !number(Basic::Mid(record, 4, 2), decoded.Minuti, error) ||
        !number(Basic::Mid(record, 20, 5), decoded.Posizione, error))
        return false;
    decoded.Data = date(record);
    decoded.DataTesto = dateText(decoded.Data);
    decoded.Funzione = Basic::Mid(record, 18, 2);
    decoded.Terminale = NumTer;
    if (decoded.Filiale == 0)
        decoded.Filiale = NumFiliale;
    if (decoded.Anno == 0)
        decoded.Anno = static_cast<qint16>(currentYear % 100);
    transit = decoded;
    return true;
}

} // namespace TransitRecord
