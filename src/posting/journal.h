#pragma once

#include <QByteArray>
#include <QString>

class ActivityLog;
struct Error;
struct Transito;

// Backup.txt: one comma-separated line per posted transit, the file opened
// and closed for each line.
class Journal
{
public:
    Journal(const QString& path, ActivityLog& log);

    bool append(const Transito& transit, qint16 type, const QString& note, Error& error);

    // Year, branch, number, progressive, employee, "d/m/yyyy", position,
    // order-line type, "h:m", "note".
    static QByteArray line(const Transito& transit, qint16 type, const QString& note);

private:
    QString m_path;
    ActivityLog& m_log;
};
