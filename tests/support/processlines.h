#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QProcess;

// Collects what a process prints on standard output, line by line, so a test
// can wait for the line it expects.
class ProcessLines : public QObject
{
    Q_OBJECT

public:
    explicit ProcessLines(QProcess& process);

    QStringList lines() const { return m_lines; }
    qsizetype count(const QString& text) const;
    // Waits until `text` has been printed in `times` lines.
    bool waitFor(const QString& text, qsizetype times = 1, int timeoutMs = 10000);

private:
    void collect();

    QProcess& m_process;
    QByteArray m_partial;
    QStringList m_lines;
};
