#include "support/simulatedterminals.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

ProcessLines::ProcessLines(QProcess& process)
    : m_process(process)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &ProcessLines::collect);
}

bool ProcessLines::waitFor(const QString& text, qsizetype times, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(text) >= times; }, timeoutMs);
}

void ProcessLines::collect()
{
    while (m_process.canReadLine())
        m_lines.append(QString::fromLatin1(m_process.readLine()).chopped(1));
}

SimulatedTerminals::~SimulatedTerminals()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool SimulatedTerminals::start(const TempWorkspace& workspace, const QStringList& terminals)
{
    QStringList arguments{u"--port"_s, u"0"_s};
    for (const QString& terminal : terminals)
        arguments << u"--terminal"_s << terminal;
    m_process.setWorkingDirectory(workspace.path());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QString::fromLatin1(PARVIX_TERMSIM), arguments);
    if (!m_lines.waitFor(u"listening on port"_s, terminals.size()))
        return false;
    static const QRegularExpression listening(
        u"^(\\S+) terminal (\\d+) listening on port (\\d+)$"_s);
    for (const QString& line : m_lines.lines().filter(listening)) {
        const QRegularExpressionMatch match = listening.match(line);
        m_table.append({match.captured(2), match.captured(1) + u':' + match.captured(3)});
    }
    return true;
}

QStringList SimulatedTerminals::stored() const
{
    static const QRegularExpression stored(u" stored <2>(.{32})<3>$"_s);
    QStringList records;
    for (const QString& line : m_lines.lines().filter(stored))
        records.append(stored.match(line).captured(1));
    return records;
}
