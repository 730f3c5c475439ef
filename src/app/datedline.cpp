#include "app/datedline.h"

#include <QDir>
#include <QFile>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace DatedLine {

namespace {

// The regional long time format carries the time zone, which the line does not.
QString timeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(u't');
    return format.trimmed();
}

} // namespace

// Lines come in bursts within the same second: its date and time are
// formatted once.
QByteArray make(const QDateTime& now, const QString& text)
{
    static const QString time = timeFormat();
    static QDate lastDate;
    static QTime lastSecond;
    static QByteArray prefix;
    const QDate date = now.date();
    const QTime clock = now.time();
    const QTime second(clock.hour(), clock.minute(), clock.second());
    if (date != lastDate || second != lastSecond) {
        const QLocale locale = QLocale::system();
        prefix = (locale.toString(date, QLocale::ShortFormat) + u' ' +
                  locale.toString(clock, time) + u' ')
                     .toLatin1();
        lastDate = date;
        lastSecond = second;
    }
    return prefix + text.toLatin1() + "\r\n";
}

bool append(const QString& path, const QByteArray& line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const bool written = file.write(line) == line.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

QString inFolder(const QString& workingDirectory, const QString& folder, const QString& fileName)
{
    return QDir(QDir(workingDirectory).filePath(folder)).filePath(fileName);
}

} // namespace DatedLine
