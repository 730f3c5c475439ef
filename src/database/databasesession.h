#pragma once

#include "app/error.h"
#include "database/connectionstring.h"
#include "database/databasewatchdog.h"
#include "database/dialect.h"
#include "database/sessionquery.h"
#include "platform/platform.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>

#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>

class ActivityLog;
class QSqlError;

// One database session per transit: Open_DB before the check, Close_DB after
// the posting and the confirmation, whatever happened in between. The
// connection itself outlives the session: Open_DB reuses it when it is still
// sound (the embedded file still the same file, a server still answering) and
// opens a new one otherwise, so a database that went away is reported as an
// open error, as without the reuse; a statement that failed retires it.
//
// No call waits on the database past its time-out (connecting, each command:
// Connect Timeout / Command Timeout in the connection string), whatever the
// far end does; one that does ends as a time-out and drops the connection.
// A database found unreachable is tried again only after a few seconds:
// meanwhile every transit fails at once with the same error.
//
// One result at a time: a statement is never run while another result of
// the session is open (SQL Server without MARS refuses it). With
// PARVIX_ONE_RESULT set (the tests set it) the session refuses such a
// statement on every backend, so the rule holds where the drivers forgive.
class DatabaseSession
{
public:
    explicit DatabaseSession(ActivityLog& log);
    ~DatabaseSession();

    void configure(const QString& StringaConn, const QString& workingDirectory);
    // How long a database found unreachable is left alone.
    void setRetryInterval(int milliseconds) { m_retryMs = milliseconds; }

    // Open_DB logs a failure ("Op DB:Errore #…") and leaves the rest to the
    // check's own failure; open() only reports it, for a caller that holds
    // its work while the database cannot be reached. Both write trace 401;
    // connect() is the same without it, for a look outside any transit.
    void Open_DB();
    bool open(Error& error);
    bool connect(Error& error);
    void Close_DB();
    // The transaction around a slice of stored transits; nothing is logged here.
    bool begin(Error& error);
    bool commit(Error& error);
    void rollback();
    // Whether the database still answers: after a failed statement, tells a
    // broken link from a statement the database refused.
    bool answers() const;
    // A statement of no result the caller reads (a probe): it may fail
    // without retiring the connection, and waits no longer than a command.
    bool probe(const QString& statement, Error& error);
    // Grows with every connection opened, for what must be checked once per connection.
    quint64 connectionSerial() const { return m_connectionSerial; }
    // The line of a download pass that an earlier version recorded in the
    // embedded database's header with its token; -1 elsewhere.
    qint64 legacyPostedMark(int token);

    bool isOpen() const;
    bool isEmbedded() const { return m_target.backend == DatabaseTarget::Backend::SQLite; }
    QSqlDatabase database() const;
    const Dialect& dialect() const { return m_dialect; }

    // Binds in order and runs a statement of this session, prepared on this
    // connection the first time it is run; on failure `error` carries the
    // driver's native number and text.
    bool run(SessionQuery& query, const QString& statement, const QVariantList& values,
             Error& error) const;
    // A driver's error as this backend's Error.
    Error failure(const QSqlError& error) const;

    // Sees every statement run() is given, with its values (the benchmarks
    // replay them against the bare database).
    using StatementObserver = std::function<void(const QString&, const QVariantList&)>;
    void observeStatements(StatementObserver observer) { m_observer = std::move(observer); }

    // Told each time the database answers a connection (true) and each time it
    // is found unreachable (false, with why): the alerts and figures of the
    // database's health.
    using ReachabilityObserver = std::function<void(bool answered, const Error& why)>;
    void observeReachability(ReachabilityObserver observer)
    {
        m_reachability = std::move(observer);
    }

    // The embedded database's settings, on every connection to it.
    static void useWriteAheadLog(QSqlDatabase& db);

private:
    bool connectionReusable() const;
    bool openConnection(Error& error);
    // A call into the driver that failed: its time-out if the watchdog cut it off.
    Error failed(const QSqlError& error) const;
    bool mayRun(const QString& statement, Error& error) const;
    void unreachable(const Error& error) const;
    void closeConnection();
    // The embedded database file as the system knows it; empty without one.
    Platform::FileIdentity fileIdentity() const;

    ActivityLog& m_log;
    DatabaseTarget m_target;
    Dialect m_dialect;
    QString MsgErrore;
    StatementObserver m_observer;
    ReachabilityObserver m_reachability;
    mutable bool m_retire = false; // a statement failed on this connection
    bool m_inTransaction = false;
    quint64 m_connectionSerial = 0;
    bool m_oneResult = false;
    mutable int m_openResults = 0;
    mutable DatabaseWatchdog m_watchdog;
    int m_retryMs = 3000;
    mutable QDeadlineTimer m_retryAt; // past it, a new connection may be tried
    mutable Error m_unreachable;      // why the last one failed
    Platform::FileIdentity m_openedFile;
    std::string m_embeddedFile; // looked at before every transit
    mutable std::unordered_map<QString, std::shared_ptr<PreparedStatement>> m_prepared;
};
