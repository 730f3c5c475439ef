#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <memory>

class DatabaseWatchdog;

// A statement prepared once on the session's connection and run again for
// every transit.
struct PreparedStatement
{
    QSqlQuery query;
    bool inUse = false;
    bool holdsResult = false;   // a result set that is not finished yet
    int* openResults = nullptr; // the session's count of them
    DatabaseWatchdog* watchdog = nullptr;
    int timeoutMs = 0;
};

// The result of one statement run by the session, for as long as the caller
// reads it. It is finished by finish() or when it goes out of scope, as a
// query of its own would be destroyed: a result left open would hold the
// embedded database's implicit transaction, and the writes after it,
// uncommitted; and SQL Server (without MARS) takes no other statement on the
// connection while one result is open. Read what you need, then finish it.
class SessionQuery
{
public:
    SessionQuery() = default;
    ~SessionQuery();
    SessionQuery(const SessionQuery&) = delete;
    SessionQuery& operator=(const SessionQuery&) = delete;

    bool next();
    QVariant value(const QString& name) const;
    void finish() { release(); }
    int numRowsAffected() const;
    QSqlError lastError() const;

private:
    friend class DatabaseSession;
    void release();

    std::shared_ptr<PreparedStatement> m_statement;
};
