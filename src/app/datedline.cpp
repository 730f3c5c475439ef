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

QByteArray make(const QDateTime& now, const QString& text)
{
    static const QString time = timeFormat();
    const QLocale locale = QLocale::system();
    const QString line = locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                         locale.toString(now.time(), time) + u' ' + text;
    return line.toLatin1() + "\r\n";
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
