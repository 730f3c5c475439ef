#include "support/testrecord.h"

using namespace Qt::StringLiterals;

QString TestRecord::stored() const
{
    return hhmm + u"00"_s + ddmmyy + badge + function + position.rightJustified(5, u'0') + order;
}

QString TestRecord::text() const
{
    return QChar(2) + stored() + QChar(3);
}
