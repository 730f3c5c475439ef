#include "support/testrecord.h"

QString TestRecord::text() const
{
    return QChar(2) + hhmm + QStringLiteral("00") + ddmmyy + badge + function +
           position.rightJustified(5, u'0') + order + QChar(3);
}
