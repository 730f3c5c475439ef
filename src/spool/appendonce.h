#pragma once

#include "app/error.h"

#include <QByteArray>
#include <QString>

// Lines appended to a file after a commit elsewhere (the journal after the
// database's, the set-aside records after the spool's): the spool records
// where the bytes go before they are written, so after a crash in between
// they are found in place or written, never twice.
namespace AppendOnce {

// Where the next append to the file will land: its size, 0 when it is missing.
qint64 offsetOf(const QString& path);
// Appends, creating the file; false with the file's error.
bool append(const QString& path, const QByteArray& bytes, Error& error);
// Appends the bytes unless the file already holds them at `offset`.
bool settle(const QString& path, qint64 offset, const QByteArray& bytes, Error& error);

} // namespace AppendOnce
