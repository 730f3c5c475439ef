#include "database/sqlerror.h"

#include <QSqlError>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

// SQLSTATE classes: connection exception, transaction rollback (deadlock,
// serialization), insufficient resources, operator intervention (query
// cancelled by a time-out, server shutting down), system error; and the
// ODBC time-outs HYT00, HYT01.
bool passingState(const QString& state)
{
    static const std::array<QLatin1StringView, 7> prefixes{"08"_L1, "40"_L1,  "53"_L1,   "57"_L1,
                                                           "58"_L1, "HYT"_L1, "55P03"_L1};
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](QLatin1StringView prefix) { return state.startsWith(prefix); });
}

// SQLite's primary codes: BUSY, LOCKED, NOMEM, IOERR, FULL, CANTOPEN, PROTOCOL.
bool passingSqlite(int code)
{
    static const std::array<int, 7> codes{5, 6, 7, 10, 13, 14, 15};
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// SQL Server: a deadlock victim, a lock time-out, the network, an Azure
// database busy or moving.
bool passingSqlServer(int code)
{
    static const std::array<int, 12> codes{1205,  1222,  233,   64,    10053, 10054,
                                           10060, 10061, 11001, 40197, 40501, 40613};
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace

namespace SqlError {

Error toError(const QSqlError& error, DatabaseTarget::Server server)
{
    bool ok = false;
    int number = error.nativeErrorCode().toInt(&ok);
    if (!ok || number == 0)
        number = error.type() == QSqlError::ConnectionError ? -2147467259 : -2147217900;
    // The drivers' line breaks and indents become single blanks.
    QString text = error.databaseText().simplified();
    if (text.isEmpty())
        text = error.driverText().simplified();
    Error result{number, text};
    result.unreachable = mayPass(error, server);
    return result;
}

bool mayPass(const QSqlError& error, DatabaseTarget::Server server)
{
    const QString code = error.nativeErrorCode().trimmed();
    bool numeric = false;
    const int number = code.toInt(&numeric);
    // Qt's SQLite driver calls a failed step a connection error: its code tells.
    if (server == DatabaseTarget::Server::SQLite)
        return numeric ? passingSqlite(number & 0xff)
                       : error.type() == QSqlError::ConnectionError && code.isEmpty();
    if (error.type() == QSqlError::ConnectionError)
        return true;
    if (!numeric)
        return passingState(code);
    switch (server) {
    case DatabaseTarget::Server::SQLite:
        break;
    case DatabaseTarget::Server::SqlServer:
        return passingSqlServer(number);
    case DatabaseTarget::Server::PostgreSQL:
        return code.size() == 5 && passingState(code);
    }
    return false;
}

} // namespace SqlError
