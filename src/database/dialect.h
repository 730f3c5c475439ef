#pragma once

#include "database/connectionstring.h"

#include <QDateTime>
#include <QVariant>

// What differs between the backends, asked by name where a statement binds a
// value or must touch exactly one row; the statements are otherwise the same.
class Dialect
{
public:
    explicit Dialect(const DatabaseTarget& target = {});

    // The values bound for a date and a date-time column.
    QVariant date(const QDate& value) const;
    QVariant dateTime(const QDateTime& value) const;

    // "UPDATE table SET assignments" on the first row that `condition`
    // selects, and on no other, also in a table without a key. Placeholders
    // of the assignments come before those of the condition.
    QString updateFirst(const QString& table, const QString& assignments,
                        const QString& condition) const;

private:
    DatabaseTarget::Backend m_backend;
    DatabaseTarget::Server m_server;
};
