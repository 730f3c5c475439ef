#include "support/processlines.h"

#include <QProcess>
#include <QTest>

ProcessLines::ProcessLines(QProcess& process)
    : m_process(process)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &ProcessLines::collect);
}

qsizetype ProcessLines::count(const QString& text) const
{
    return std::count_if(m_lines.cbegin(), m_lines.cend(),
                         [&text](const QString& line) { return line.contains(text); });
}

bool ProcessLines::waitFor(const QString& text, qsizetype times, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(text) >= times; }, timeoutMs);
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
