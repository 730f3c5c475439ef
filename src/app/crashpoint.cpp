#include "app/crashpoint.h"

#include "platform/platform.h"

#include <QByteArray>
#include <QList>

namespace {

struct Target
{
    QByteArray step;
    int remaining = 0;
};

Target readTarget()
{
    const QByteArray value = qgetenv("PARVIX_CRASH_AT");
    const QList<QByteArray> parts = value.split(':');
    const int times = parts.size() > 1 ? parts[1].toInt() : 1;
    return Target{parts.value(0), times > 0 ? times : 1};
}

} // namespace

void CrashPoint::reach(const char* step)
{
    static Target target = readTarget();
    if (target.step.isEmpty() || target.step != step || --target.remaining > 0)
        return;
    // As a kill: nothing runs after it, no buffer is flushed, no destructor.
    Platform::dieNow();
}
