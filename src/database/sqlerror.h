#pragma once

#include "app/error.h"
#include "database/connectionstring.h"

class QSqlError;

namespace SqlError {
// The driver's native error number (the first number in its code, so an
// SQLSTATE such as "08006" still gives a number) and its text, on one line.
// `unreachable` is set when the failure may pass by itself (see mayPass).
Error toError(const QSqlError& error, DatabaseTarget::Server server);
// A failure that says nothing against the transit: the database could not
// be reached, the link broke, a time-out, or a refusal for a passing reason
// (busy, locked, a deadlock victim, a serialization failure, disk full).
bool mayPass(const QSqlError& error, DatabaseTarget::Server server);
} // namespace SqlError
