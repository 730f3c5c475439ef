#pragma once

#include <QByteArray>

// A count a long run can raise from the environment (scripts/soak.sh);
// unset or unreadable, the CI default stands.
inline quint32 testParameter(const char* name, quint32 ciDefault)
{
    bool ok = false;
    const quint32 value = qgetenv(name).toUInt(&ok);
    return ok ? value : ciDefault;
}
