#include "database/dialect.h"

using namespace Qt::StringLiterals;

Dialect::Dialect(const DatabaseTarget& target)
    : m_backend(target.backend)
    , m_server(target.server)
{}

// SQLite keeps dates and date-times as text in its own form, also behind the
// ODBC driver (which would add milliseconds). Qt's PostgreSQL driver sends a
// QDateTime with a time-zone offset; as text, the time of day written is the
// one meant whatever zone the machine runs in.
QVariant Dialect::date(const QDate& value) const
{
    if (m_server == DatabaseTarget::Server::SQLite)
        return value.toString(Qt::ISODate); // yyyy-MM-dd, without the format parser
    return value;
}

QVariant Dialect::dateTime(const QDateTime& value) const
{
    if (m_server == DatabaseTarget::Server::SQLite ||
        m_backend == DatabaseTarget::Backend::PostgreSQL)
        return value.date().toString(Qt::ISODate) + u' ' + value.time().toString(Qt::ISODate);
    return value;
}

QString Dialect::updateFirst(const QString& table, const QString& assignments,
                             const QString& condition) const
{
    switch (m_server) {
    case DatabaseTarget::Server::SQLite:
        return u"UPDATE %1 SET %2 WHERE rowid = (SELECT rowid FROM %1 WHERE %3 LIMIT 1)"_s.arg(
            table, assignments, condition);
    case DatabaseTarget::Server::PostgreSQL:
        return u"UPDATE %1 SET %2 WHERE ctid = (SELECT ctid FROM %1 WHERE %3 LIMIT 1)"_s.arg(
            table, assignments, condition);
    case DatabaseTarget::Server::SqlServer:
        break;
    }
    return u"UPDATE TOP (1) %1 SET %2 WHERE %3"_s.arg(table, assignments, condition);
}
