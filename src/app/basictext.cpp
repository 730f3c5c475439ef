#include "app/basictext.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace Basic {

QString Mid(const QString& text, qsizetype start, qsizetype length)
{
    const qsizetype from = start < 1 ? 0 : start - 1;
    if (from >= text.size())
        return QString();
    return length < 0 ? text.mid(from) : text.mid(from, length);
}

QString Left(const QString& text, qsizetype length)
{
    return text.left(qMax<qsizetype>(0, length));
}

QString Right(const QString& text, qsizetype length)
{
    return text.right(qMax<qsizetype>(0, length));
}

QString Trim(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

QString Str(qint64 number)
{
    return number < 0 ? QString::number(number) : u" "_s + QString::number(number);
}

qint64 Val(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 10 - 1;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        if (value < limit)
            value = value * 10 + (text[i].unicode() - '0');
    }
    return negative ? -value : value;
}

} // namespace Basic
