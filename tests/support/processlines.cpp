#include "support/processlines.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>

ProcessLines::ProcessLines(QProcess& process)
    : m_process(process)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &ProcessLines::collect);
}

qsizetype ProcessLines::count(const QString& text) const
{
    qsizetype found = 0;
    for (const QString& line : m_lines)
        found += line.contains(text) ? 1 : 0;
    return found;
}

bool ProcessLines::waitFor(const QString& text, qsizetype times, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (count(text) < times) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

void ProcessLines::collect()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromLatin1(m_partial.left(end)));
        m_partial.remove(0, end + 1);
    }
}
