#pragma once

#include "platform/platform.h"

#include <QFile>
#include <QString>

#include <memory>
#include <string>

class Clock;
struct Switches;

// The activity log RegistroQZ.txt: one line per call, rotated by size, every
// failure swallowed. The file stays open between lines; each line still
// looks at the path first, so a log removed, replaced or grown by someone
// else is followed at once, as if it were opened for every line.
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
    void rotate(bool exists);
    bool openFile();
    QString freeRotatedName() const;

    const Clock& m_clock;
    const Switches& m_switches;
    QString m_folder;
    std::string m_encodedPath; // the log's path as the system takes it, looked at every line
    QString MsgLog;
    std::unique_ptr<QFile> m_file;
    Platform::FileIdentity m_fileId; // of m_file
};
