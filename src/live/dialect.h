#pragma once

#include <QDate>
#include <QVariant>

#include <memory>

struct DatabaseTarget;

// What differs between the backends, asked by name where a statement binds a
// value; the statements themselves are the same everywhere.
class Dialect
{
public:
    virtual ~Dialect();

    static std::unique_ptr<Dialect> forTarget(const DatabaseTarget& target);

    // The value bound for a date column.
    virtual QVariant date(const QDate& value) const;
};
