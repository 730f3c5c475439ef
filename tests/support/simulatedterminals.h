#pragma once

#include <QProcess>

#include "support/tempworkspace.h"

// Collects what a process prints on standard output, line by line, so a test
// can wait for the line it expects.
class ProcessLines : public QObject
{
public:
    explicit ProcessLines(QProcess& process);

    QStringList lines() const { return m_lines; }
    qsizetype count(const QString& text) const { return m_lines.filter(text).size(); }
    // Waits until `text` has been printed in `times` lines.
    bool waitFor(const QString& text, qsizetype times = 1, int timeoutMs = 10000);

private:
    void collect();

    QProcess& m_process;
    QStringList m_lines;
};

// parvix-termsim run by a test: every terminal listens on a free port of its
// own address, and the terminal table names it as "address:port", so tests
// running side by side never race for a port.
class SimulatedTerminals
{
public:
    ~SimulatedTerminals();

    // Terminals as "address=number"; false when they do not come up.
    bool start(const TempWorkspace& workspace, const QStringList& terminals);
    // The table entries ("number", "address:port") of the terminals started.
    QList<QStringList> table() const { return m_table; }
    void send(const QByteArray& commands) { m_process.write(commands); }
    ProcessLines& output() { return m_lines; }
    // Every record a terminal stored: the 32 characters between 2 and 3.
    QStringList stored() const;

private:
    QProcess m_process;
    ProcessLines m_lines{m_process};
    QList<QStringList> m_table;
};
