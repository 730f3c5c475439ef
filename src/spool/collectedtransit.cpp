#include "spool/collectedtransit.h"

#include "app/basictext.h"
#include "app/recordwriter.h"
#include "app/settingsreader.h"
#include "posting/transitrecord.h"

#include <algorithm>

QByteArray CollectedTransit::line() const
{
    return QString::number(NumTer).toLatin1() +
           RecordWriter::quotedRecord({IPTer, record}).prepend(',');
}

qint64 CollectedTransit::moment() const
{
    Error ignored;
    qint16 hour = 0;
    qint16 minute = 0;
    TransitRecord::number(Basic::Mid(record, 2, 2), hour, ignored);
    TransitRecord::number(Basic::Mid(record, 4, 2), minute, ignored);
    return QDate(1900, 1, 1).daysTo(TransitRecord::date(record)) * 1440 + hour * 60 + minute;
}

bool CollectedTransit::parse(const QByteArray& line, CollectedTransit& transit)
{
    SettingsReader reader;
    reader.setData(line);
    QStringList fields;
    Error incomplete;
    if (!reader.read(3, fields, incomplete))
        return false;
    transit = {Basic::Val(fields[0]), fields[1], fields[2]};
    return true;
}

void CollectedTransit::sortChronologically(QList<CollectedTransit>& lines)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](const CollectedTransit& a, const CollectedTransit& b) {
                         return a.moment() < b.moment();
                     });
}
