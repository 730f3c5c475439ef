#pragma once

#include "support/processlines.h"

#include <QMap>
#include <QProcess>

class TempWorkspace;

// parvix-termsim run by a test: every terminal listens on a free port of its
// own address, and the terminal table names it as "address:port", so tests
// running side by side never race for a port.
class SimulatedTerminals
{
public:
    SimulatedTerminals();
    ~SimulatedTerminals();

    // Terminals as "address=number"; false when they do not come up.
    bool start(const TempWorkspace& workspace, const QStringList& terminals,
               const QStringList& extraArguments = {});
    // The table entries ("number", "address:port") of the terminals started.
    QList<QStringList> table() const;
    void send(const QByteArray& commands);
    ProcessLines& output() { return *m_lines; }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    std::unique_ptr<ProcessLines> m_lines;
    QList<QStringList> m_table;
};
