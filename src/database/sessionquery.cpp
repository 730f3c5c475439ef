#include "database/sessionquery.h"

#include "database/databasewatchdog.h"

#include <utility>

SessionQuery::~SessionQuery()
{
    release();
}

bool SessionQuery::next()
{
    if (!m_statement)
        return false;
    const DatabaseWatchdog::Armed guard(*m_statement->watchdog, m_statement->timeoutMs);
    return m_statement->query.next();
}

QVariant SessionQuery::value(const QString& name) const
{
    return m_statement ? m_statement->query.value(name) : QVariant();
}

int SessionQuery::numRowsAffected() const
{
    return m_statement ? m_statement->query.numRowsAffected() : -1;
}

QSqlError SessionQuery::lastError() const
{
    return m_statement ? m_statement->query.lastError() : QSqlError();
}

void SessionQuery::release()
{
    if (!m_statement)
        return;
    m_statement->query.finish();
    m_statement->inUse = false;
    if (std::exchange(m_statement->holdsResult, false))
        --*m_statement->openResults;
    m_statement.reset();
}
