#pragma once

#include <QList>
#include <QString>

#include <functional>

// Small helpers the benchmarks share for what they print.
namespace Figures {

// The p-th percentile (0-100) of the values, nearest rank; 0 when empty.
double percentile(QList<double> values, double p);
// Resident memory of a process now and at its peak, in kB (from /proc).
qint64 residentKilobytes(qint64 pid);
qint64 peakResidentKilobytes(qint64 pid);
QString megabytes(qint64 kilobytes);

// Runs the event loop until `done` holds (checked every millisecond) or the
// time is up. Unlike QTest::qWaitFor it never sleeps, so sockets are served
// the moment they are ready and latencies are not rounded up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace Figures
