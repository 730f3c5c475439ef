#include "recordbuilder.h"

using namespace Qt::StringLiterals;

namespace RecordBuilder {

namespace {

bool digits(const QString& text, int width, const QString& name, QString& field, QString& error)
{
    bool ok = !text.isEmpty() && text.size() <= width;
    for (const QChar c : text)
        ok = ok && c.isDigit();
    if (!ok) {
        error = u"%1 must be 1 to %2 digits: '%3'"_s.arg(name, QString::number(width), text);
        return false;
    }
    field = text.rightJustified(width, u'0');
    return true;
}

} // namespace

bool parse(const QStringList& words, Reading& reading, QString& error)
{
    if (words.size() < 2 || words.size() > 6) {
        error = u"expected BADGE FUNCTION [POSITION [ORDER [HHMM [DDMMYY]]]]"_s;
        return false;
    }
    reading.badge = words[0];
    reading.function = words[1];
    if (words.size() > 2)
        reading.position = words[2];
    if (words.size() > 3)
        reading.order = words[3];
    if (words.size() > 4)
        reading.time = words[4];
    if (words.size() > 5)
        reading.date = words[5];
    return true;
}

bool build(const Reading& reading, const QDateTime& now, QString& record, QString& error)
{
    QString badge, position, order, time, date;
    if (reading.function.size() != 2) {
        error = u"the function code has two characters: '%1'"_s.arg(reading.function);
        return false;
    }
    const QString nowTime = now.time().toString(u"HHmm"_s);
    const QString nowDate = now.date().toString(u"ddMMyy"_s);
    if (!digits(reading.badge, 4, u"badge"_s, badge, error) ||
        !digits(reading.position, 5, u"position"_s, position, error) ||
        !digits(reading.order, 9, u"order"_s, order, error) ||
        !digits(reading.time.isEmpty() ? nowTime : reading.time, 4, u"time"_s, time, error) ||
        !digits(reading.date.isEmpty() ? nowDate : reading.date, 6, u"date"_s, date, error))
        return false;
    record =
        QChar(2) + time + u"00"_s + date + badge + reading.function + position + order + QChar(3);
    return true;
}

} // namespace RecordBuilder
