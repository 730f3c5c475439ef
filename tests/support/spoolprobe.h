#pragma once

#include <QString>

// Reads the server's spool (Scarico.db in a working directory) from outside,
// as an operator's tool would: how many lines match a condition on the
// Lines table ("State IN (0, 1, 2)"); -1 when there is no spool to read.
qint64 spoolLines(const QString& workingDirectory, const QString& condition);
