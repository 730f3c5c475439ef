#include "live/dialect.h"

#include "live/connectionstring.h"

using namespace Qt::StringLiterals;

namespace {

// The embedded SQLite files keep dates as "YYYY-MM-DD" text, SQLite's own form.
class SQLiteDialect : public Dialect
{
public:
    QVariant date(const QDate& value) const override { return value.toString(u"yyyy-MM-dd"_s); }
};

} // namespace

Dialect::~Dialect() = default;

std::unique_ptr<Dialect> Dialect::forTarget(const DatabaseTarget& target)
{
    if (target.backend == DatabaseTarget::Backend::SQLite)
        return std::make_unique<SQLiteDialect>();
    return std::make_unique<Dialect>();
}

QVariant Dialect::date(const QDate& value) const
{
    return value;
}
