#include "transitmix.h"

#include "recordbuilder.h"

#include <QDate>
#include <QDateTime>

using namespace Qt::StringLiterals;

namespace TransitMix {

QString record(int terminal, int k)
{
    struct Step
    {
        const char16_t* function;
        const char16_t* position;
        const char16_t* order;
        int minute;
    };
    static const Step steps[ReadsPerDay] = {
        {u"#C", u"1", u"0", 8 * 60},          {u"00", u"1", u"241000120", 8 * 60 + 5},
        {u"00", u"2", u"241000120", 10 * 60}, {u"#B", u"0", u"241000120", 12 * 60},
        {u"#C", u"2", u"0", 17 * 60},
    };
    static const QString badges[] = {u"0042"_s, u"0044"_s, u"0045"_s};
    const Step& step = steps[k % ReadsPerDay];
    const int minute = step.minute + terminal % 50;
    RecordBuilder::Reading reading;
    reading.badge = badges[terminal % 3];
    reading.function = QString::fromUtf16(step.function);
    reading.position = QString::fromUtf16(step.position);
    reading.order = QString::fromUtf16(step.order);
    reading.time =
        u"%1%2"_s.arg(minute / 60, 2, 10, QChar(u'0')).arg(minute % 60, 2, 10, QChar(u'0'));
    reading.date = QDate::currentDate().addDays(-1 - k / ReadsPerDay).toString(u"ddMMyy"_s);
    QString built;
    QString error;
    RecordBuilder::build(reading, QDateTime(), built, error);
    return built;
}

} // namespace TransitMix
