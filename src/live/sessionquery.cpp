#include "live/sessionquery.h"

SessionQuery::~SessionQuery()
{
    release();
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
    m_statement.reset();
}
