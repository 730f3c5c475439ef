#pragma once

#include "app/error.h"
#include "live/connectionstring.h"
#include "live/dialect.h"

#include <QSqlDatabase>

#include <functional>

class ActivityLog;
class QSqlError;
class QSqlQuery;
class TerminalRegistry;

// One database session per transit: Open_DB before the check, Close_DB after
// the posting and the confirmation, whatever happened in between.
class DatabaseSession
{
public:
    DatabaseSession(ActivityLog& log, TerminalRegistry& registry);
    ~DatabaseSession();

    void configure(const QString& StringaConn, const QString& workingDirectory);

    void Open_DB();
    void Close_DB();
    // A transaction around one transit of a download pass; a failed commit is logged.
    void begin();
    void commit();
    // In the embedded SQLite database, the line of a download pass that the
    // transaction under way posts is recorded in the database header, so it
    // commits with it; -1 elsewhere or when it cannot be read.
    void markPosted(int token, qint64 line);
    qint64 postedMark(int token);

    bool isOpen() const;
    bool isEmbedded() const { return m_target.backend == DatabaseTarget::Backend::SQLite; }
    QSqlDatabase database() const;
    const Dialect& dialect() const { return m_dialect; }

    // Prepares, binds in order and runs a statement of this session; on
    // failure `error` carries the driver's native number and text.
    bool run(QSqlQuery& query, const QString& statement, const QVariantList& values,
             Error& error) const;

    static Error errorOf(const QSqlError& error);

    // Sees every statement run() is given, with its values (the benchmarks
    // replay them against the bare database).
    using StatementObserver = std::function<void(const QString&, const QVariantList&)>;
    void observeStatements(StatementObserver observer) { m_observer = std::move(observer); }

    // The embedded database's settings, on every connection to it.
    static void useWriteAheadLog(QSqlDatabase& db);

private:

    ActivityLog& m_log;
    TerminalRegistry& m_registry;
    DatabaseTarget m_target;
    Dialect m_dialect;
    QString MsgErrore;
    StatementObserver m_observer;
};
