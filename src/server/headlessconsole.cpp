#include "server/headlessconsole.h"

#include "server/server.h"
#include "terminal/terminalregistry.h"

#include <QTextStream>

using namespace Qt::StringLiterals;

HeadlessConsole::HeadlessConsole(ParvixServer& server, QTextStream& out, QObject* parent)
    : QObject(parent)
    , m_out(out)
{
    connect(&server, &ParvixServer::titleChanged, this, &HeadlessConsole::showTitle);
    connect(&server.registry(), &TerminalRegistry::portAdded, this,
            [this](const QString& text) { print(u"[port] "_s, text); });
    connect(&server.report(), &OperatorReport::messageAdded, this,
            [this](const QString& text) { print(u"[msg] "_s, text); });
    connect(&server.report(), &OperatorReport::errorAdded, this,
            [this](const QString& text) { print(u"[err] "_s, text); });
}

void HeadlessConsole::showTitle(const QString& title)
{
    if (m_titleShown)
        return;
    m_titleShown = true;
    m_out << title << '\n';
    for (const QString& line : std::as_const(m_waiting))
        m_out << line << '\n';
    m_waiting.clear();
    m_out.flush();
}

void HeadlessConsole::print(const QString& tag, const QString& text)
{
    // List entries may end in CR LF; the output keeps one line per entry.
    QString line = tag + text;
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    if (!m_titleShown) {
        m_waiting.append(line);
        return;
    }
    m_out << line << '\n';
    m_out.flush();
}
