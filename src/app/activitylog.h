#pragma once

#include <QString>

class Clock;
struct Switches;

// The activity log RegistroQZ.txt: one line per call, file opened and closed
// for each line, rotated by size, every failure swallowed.
class ActivityLog
{
public:
    static constexpr qint64 RotationSize = 1000000;

    ActivityLog(const Clock& clock, const Switches& switches);

    // Where the log lives; until set (start-up reads it first), the working directory.
    void setLocation(const QString& workingDirectory, const QString& CartellaRegistro);
    QString filePath() const;

    void LogFile(const QString& CmdTxt);
    void SpY(qint16 Trace);
    // The log line of a received message: the traffic filter looks at the
    // message itself (MsgLog) only during this call.
    void logReceived(const QString& message, const QString& CmdTxt);

private:
    bool filteredOut() const;
    void rotateIfNeeded();
    QString freeRotatedName() const;

    const Clock& m_clock;
    const Switches& m_switches;
    QString m_folder;
    QString MsgLog;
};
