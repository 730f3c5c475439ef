#include "support/simulatedterminals.h"

#include "support/tempworkspace.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

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
    for (const QString& line : m_lines.lines()) {
        const QRegularExpressionMatch match = listening.match(line);
        if (match.hasMatch())
            m_table.append({match.captured(2), match.captured(1) + u':' + match.captured(3)});
    }
    return true;
}

QStringList SimulatedTerminals::stored() const
{
    static const QRegularExpression stored(u" stored <2>(.{32})<3>$"_s);
    QStringList records;
    for (const QString& line : m_lines.lines()) {
        const QRegularExpressionMatch match = stored.match(line);
        if (match.hasMatch())
            records.append(match.captured(1));
    }
    return records;
}
