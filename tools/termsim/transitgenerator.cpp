#include "transitgenerator.h"

#include "recordbuilder.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TransitGenerator {

QStringList generate(int terminal, int count, int days, const QDate& today,
                     const QStringList& badges)
{
    QRandomGenerator random(static_cast<quint32>(terminal) * 7919u + static_cast<quint32>(count));
    // Minutes from 06:00 to 19:59 of each day, those of this terminal's residue.
    QList<int> slots;
    for (int day = 1; day <= days; ++day) {
        for (int minute = 360; minute < 1200; ++minute) {
            if (minute % 3 == terminal % 3)
                slots.append(day * 1440 + minute);
        }
    }
    std::shuffle(slots.begin(), slots.end(), random);
    QStringList records;
    for (int i = 0; i < count && i < slots.size(); ++i) {
        const int slot = slots[i];
        const QDate date = today.addDays(-(slot / 1440));
        const int minute = slot % 1440;
        const int kind = random.bounded(100);
        RecordBuilder::Reading reading;
        reading.badge = random.bounded(10) == 0
                            ? u"0099"_s
                            : badges[random.bounded(static_cast<int>(badges.size()))];
        reading.function = kind < 60 ? u"#C"_s : kind < 85 ? u"00"_s : u"#B"_s;
        reading.position = QString::number(1 + random.bounded(3));
        reading.order = reading.function == u"#C"_s ? u"0"_s : u"241000120"_s;
        reading.time =
            u"%1%2"_s.arg(minute / 60, 2, 10, QChar(u'0')).arg(minute % 60, 2, 10, QChar(u'0'));
        reading.date = date.toString(u"ddMMyy"_s);
        QString record;
        QString error;
        if (RecordBuilder::build(reading, QDateTime(), record, error))
            records.append(record);
    }
    return records;
}

} // namespace TransitGenerator
