#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <memory>

// A statement prepared once on the session's connection and run again for
// every transit.
struct PreparedStatement
{
    QSqlQuery query;
    bool inUse = false;
};

// The result of one statement run by the session, for as long as the caller
// reads it. When it goes out of scope its statement is finished, as a query
// of its own would be destroyed: a result left open would hold the embedded
// database's implicit transaction, and the writes after it, uncommitted.
class SessionQuery
{
public:
    SessionQuery() = default;
    ~SessionQuery();
    SessionQuery(const SessionQuery&) = delete;
    SessionQuery& operator=(const SessionQuery&) = delete;

    bool next() { return m_statement && m_statement->query.next(); }
    QVariant value(const QString& name) const;
    int numRowsAffected() const;
    QSqlError lastError() const;

private:
    friend class DatabaseSession;
    void release();

    std::shared_ptr<PreparedStatement> m_statement;
};
