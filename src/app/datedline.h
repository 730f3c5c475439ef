#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The record line shared by the activity log and the port status file: the
// short date and the time in the system's regional formats, the text, CR LF,
// in the single-byte code page.
namespace DatedLine {
QByteArray make(const QDateTime& now, const QString& text);
// Opens the file for appending (creating it), writes, closes. Failures are
// the caller's to ignore.
bool append(const QString& path, const QByteArray& line);
// The file of a folder read from the settings; an empty folder means the
// working directory itself, never the root of the file system.
QString inFolder(const QString& workingDirectory, const QString& folder, const QString& fileName);
} // namespace DatedLine
