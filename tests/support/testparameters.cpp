#include "support/testparameters.h"

#include <QByteArray>

quint32 testParameter(const char* name, quint32 ciDefault)
{
    bool ok = false;
    const quint32 value = qgetenv(name).toUInt(&ok);
    return ok ? value : ciDefault;
}
