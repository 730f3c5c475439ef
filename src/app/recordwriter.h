#pragma once

#include "app/error.h"

#include <QList>
#include <QStringList>

class QIODevice;

// Writes settings the way the reader reads them back: records of quoted
// values separated by commas, or plain lines; CR LF after each.
namespace RecordWriter {
QByteArray quotedRecord(const QStringList& values);
QByteArray plainLine(const QString& line);

bool write(QIODevice& device, const QByteArray& content, Error& error);
// Replaces the file as a whole, so a failure never leaves half a file behind.
bool replaceFile(const QString& path, const QByteArray& content, Error& error);
} // namespace RecordWriter
