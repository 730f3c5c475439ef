#pragma once

#include "app/error.h"
#include "live/connectionstring.h"
#include "live/dialect.h"
#include "live/sessionquery.h"

#include <QSqlDatabase>

#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>

class ActivityLog;
class QSqlError;
class TerminalRegistry;

// One database session per transit: Open_DB before the check, Close_DB after
// the posting and the confirmation, whatever happened in between. The
// connection itself outlives the session: Open_DB reuses it when it is still
// sound (the embedded file still the same file, a server still answering) and
// opens a new one otherwise, so a database that went away is reported as an
// open error, as without the reuse; a statement that failed retires it.
class DatabaseSession
{
public:
    DatabaseSession(ActivityLog& log, TerminalRegistry& registry);
    ~DatabaseSession();

    void configure(const QString& StringaConn, const QString& workingDirectory);

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

    // The embedded database's settings, on every connection to it.
    static void useWriteAheadLog(QSqlDatabase& db);

private:
    bool connectionReusable() const;
    bool openConnection(Error& error);
    void closeConnection();
    // The embedded database file as the system knows it (device, inode).
    std::pair<quint64, quint64> fileIdentity() const;

    ActivityLog& m_log;
    TerminalRegistry& m_registry;
    DatabaseTarget m_target;
    Dialect m_dialect;
    QString MsgErrore;
    StatementObserver m_observer;
    mutable bool m_retire = false; // a statement failed on this connection
    bool m_inTransaction = false;
    quint64 m_connectionSerial = 0;
    std::pair<quint64, quint64> m_openedFile;
    QByteArray m_embeddedFile; // looked at before every transit
    mutable std::unordered_map<QString, std::shared_ptr<PreparedStatement>> m_prepared;
};
