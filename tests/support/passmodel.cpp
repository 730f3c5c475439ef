#include "support/passmodel.h"

#include <QMap>

#include <algorithm>

using namespace Qt::StringLiterals;

Expectation Expectation::of(QStringList records)
{
    std::sort(records.begin(), records.end(), [](const QString& a, const QString& b) {
        const auto key = [](const QString& r) {
            return r.mid(10, 2) + r.mid(8, 2) + r.mid(6, 2) + r.left(4);
        };
        return key(a) < key(b);
    });
    Expectation e;
    QMap<QString, int> count; // employee|date → attendance rows
    QMap<QString, std::pair<int, QString>>
        open; // employee|date → start minute, start text|position
    for (const QString& r : records) {
        // Employees 1 to 4 hold the demo badges 0042 to 0045.
        const int employee =
            QStringList{u"0042"_s, u"0043"_s, u"0044"_s, u"0045"_s}.indexOf(r.mid(12, 4)) + 1;
        if (employee == 0)
            continue;
        ++e.posted;
        const QString date = u"20"_s + r.mid(10, 2) + u'-' + r.mid(8, 2) + u'-' + r.mid(6, 2);
        const QString day = QString::number(employee) + u'|' + date;
        const int minute = r.left(2).toInt() * 60 + r.mid(2, 2).toInt();
        const QString time = u"1900-01-01 "_s + r.left(2) + u':' + r.mid(2, 2) + u":00"_s;
        const QString function = r.mid(16, 2);
        const int position = r.mid(18, 5).toInt();
        const auto close = [&] {
            if (!open.contains(day))
                return;
            const auto [start, text] = open.take(day);
            e.sheets.append(day + u'|' + text + u'|' + time + u'|' +
                            QString::number(minute - start));
        };
        if (function == u"#C"_s) {
            if (count[day] % 2 == 1)
                close();
            ++count[day];
            e.attendance.append(
                u"%1|%2|%3|%4"_s.arg(day).arg(position).arg(minute / 60).arg(minute % 60));
        } else {
            close();
            if (function == u"00"_s)
                open[day] = {minute, QString::number(position) + u'|' + time};
        }
    }
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        e.sheets.append(it.key() + u'|' + it.value().second + u"|-|-"_s);
    e.attendance.sort();
    e.sheets.sort();
    return e;
}
