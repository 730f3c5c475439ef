#include "database/databasesession.h"

#include "app/activitylog.h"
#include "app/errorcatalogue.h"
#include "database/sqlerror.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString ConnectionName = u"parvix-transit"_s;

// ADO's number for a command or a connection that ran out of time.
Error timedOut()
{
    return Error{-2147217871, u"Timeout scaduto"_s, true};
}

} // namespace

DatabaseSession::DatabaseSession(ActivityLog& log)
    : m_log(log)
    , m_oneResult(qEnvironmentVariableIsSet("PARVIX_ONE_RESULT"))
{}

DatabaseSession::~DatabaseSession()
{
    closeConnection();
}

void DatabaseSession::configure(const QString& StringaConn, const QString& workingDirectory)
{
    closeConnection();
    m_target = DatabaseTarget::fromConnectionString(StringaConn, workingDirectory);
    m_dialect = Dialect(m_target);
    m_embeddedFile = QUrl(m_target.databaseName).toLocalFile().toStdString();
}

void DatabaseSession::Open_DB()
{
    Error error;
    if (open(error))
        return;
    MsgErrore = u"Op DB:Errore #"_s + QString::number(error.number) + u" verificato: "_s +
                error.description;
    m_log.LogFile(MsgErrore);
}

bool DatabaseSession::open(Error& error)
{
    m_log.SpY(401);
    return connect(error);
}

bool DatabaseSession::connect(Error& error)
{
    bool connected = connectionReusable();
    if (!connected) {
        closeConnection();
        if (m_retryAt.hasExpired())
            connected = openConnection(error);
        else
            error = m_unreachable;
    }
    if (m_reachability)
        m_reachability(connected, error);
    return connected;
}

void DatabaseSession::unreachable(const Error& error) const
{
    m_unreachable = error;
    m_retryAt.setRemainingTime(m_retryMs);
    if (m_reachability)
        m_reachability(false, error);
}

bool DatabaseSession::openConnection(Error& error)
{
    if (m_target.backend == DatabaseTarget::Backend::Unknown) {
        error = Error{ErrorNumber::ProviderNotFound, m_target.problem};
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(m_target.driver)) {
        error = Error{ErrorNumber::ProviderNotFound,
                      ErrorCatalogue::description(ErrorNumber::ProviderNotFound) + u": "_s +
                          m_target.driver};
        return false;
    }
    QSqlDatabase db = m_target.addDatabase(ConnectionName);
    ++m_connectionSerial;
    m_watchdog.beforeOpening();
    bool opened = false;
    {
        const DatabaseWatchdog::Armed guard(m_watchdog, m_target.connectTimeout * 1000);
        opened = db.open();
    }
    if (!opened) {
        m_watchdog.closed();
        error = failed(db.lastError());
        error.unreachable = true;
        unreachable(error);
        return false;
    }
    m_watchdog.opened();
    if (m_target.backend == DatabaseTarget::Backend::SQLite)
        useWriteAheadLog(db);
    m_openedFile = fileIdentity();
    return true;
}

// The embedded database: a write-ahead log, whose commits do not wait on the
// disk. A transit committed is then recorded as posted right after, with no
// flush in between that a crash could fall into; a crash of the process loses
// nothing committed.
void DatabaseSession::useWriteAheadLog(QSqlDatabase& db)
{
    QSqlQuery pragma(db);
    pragma.exec(u"PRAGMA journal_mode=WAL"_s);
    pragma.exec(u"PRAGMA synchronous=NORMAL"_s);
}

// A transaction still open here was not committed: it is rolled back.
void DatabaseSession::Close_DB()
{
    m_log.SpY(501);
    rollback();
    if (m_retire)
        closeConnection();
}

bool DatabaseSession::connectionReusable() const
{
    return !m_retire && answers();
}

bool DatabaseSession::answers() const
{
    if (!isOpen())
        return false;
    if (isEmbedded()) // replaced, moved or deleted under the server: open it anew
        return fileIdentity() == m_openedFile && !(m_openedFile == Platform::FileIdentity());
    Error error;
    if (!mayRun(u"SELECT 1"_s, error))
        return false;
    const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
    QSqlQuery ping(database());
    if (ping.exec(u"SELECT 1"_s))
        return true;
    if (m_watchdog.fired())
        unreachable(timedOut());
    return false;
}

void DatabaseSession::closeConnection()
{
    m_retire = false;
    m_inTransaction = false;
    m_prepared.clear();
    if (!QSqlDatabase::contains(ConnectionName))
        return;
    {
        // A driver may still say goodbye to a server that no longer answers.
        const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        db.close();
    }
    m_watchdog.closed();
    QSqlDatabase::removeDatabase(ConnectionName);
}

Platform::FileIdentity DatabaseSession::fileIdentity() const
{
    Platform::FileIdentity identity;
    if (!isEmbedded() || !Platform::identityOf(m_embeddedFile, identity))
        return {};
    return identity;
}

bool DatabaseSession::begin(Error& error)
{
    if (!isOpen()) {
        error = ErrorCatalogue::make(ErrorNumber::ObjectClosed);
        return false;
    }
    {
        const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
        m_inTransaction = mayRun(u"BEGIN"_s, error) && database().transaction();
    }
    if (!m_inTransaction && !error.isSet()) {
        error = failed(database().lastError());
        m_retire = true;
    }
    return m_inTransaction;
}

bool DatabaseSession::commit(Error& error)
{
    if (!isOpen() || !m_inTransaction) {
        error = ErrorCatalogue::make(ErrorNumber::ObjectClosed);
        return false;
    }
    m_inTransaction = false;
    if (!mayRun(u"COMMIT"_s, error))
        return false;
    {
        const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
        if (database().commit())
            return true;
    }
    m_retire = true;
    error = failed(database().lastError());
    return false;
}

void DatabaseSession::rollback()
{
    if (m_inTransaction && isOpen()) {
        const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
        if (!database().rollback())
            m_retire = true;
    }
    m_inTransaction = false;
}

qint64 DatabaseSession::legacyPostedMark(int token)
{
    // The header held the token times a million plus the line.
    constexpr qint64 LinesPerToken = 1000000;
    Error error;
    if (!isEmbedded() || token <= 0 || !open(error))
        return -1;
    QSqlQuery query(database());
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next())
        return -1;
    const qint64 mark = query.value(0).toLongLong();
    return mark / LinesPerToken == token ? mark % LinesPerToken : -1;
}

bool DatabaseSession::isOpen() const
{
    return QSqlDatabase::contains(ConnectionName) &&
           QSqlDatabase::database(ConnectionName, false).isOpen();
}

QSqlDatabase DatabaseSession::database() const
{
    return QSqlDatabase::database(ConnectionName, false);
}

bool DatabaseSession::run(SessionQuery& query, const QString& statement, const QVariantList& values,
                          Error& error) const
{
    query.release();
    if (!isOpen()) {
        error = ErrorCatalogue::make(ErrorNumber::ObjectClosed);
        return false;
    }
    if (!mayRun(statement, error))
        return false;
    if (m_observer)
        m_observer(statement, values);
    const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
    std::shared_ptr<PreparedStatement>& prepared = m_prepared[statement];
    std::shared_ptr<PreparedStatement> toRun = prepared;
    bool ran = true;
    if (!toRun || toRun->inUse) {
        // Prepared here the first time; a statement still being read by a
        // caller gets a one-off twin.
        toRun = std::make_shared<PreparedStatement>(
            PreparedStatement{QSqlQuery(database()), false, false, &m_openResults, &m_watchdog,
                              m_target.commandTimeout * 1000});
        toRun->query.setForwardOnly(true);
        ran = toRun->query.prepare(statement);
        if (ran && !prepared)
            prepared = toRun;
    }
    toRun->inUse = true;
    query.m_statement = toRun;
    QSqlQuery& q = toRun->query;
    for (qsizetype i = 0; ran && i < values.size(); ++i)
        q.bindValue(int(i), values[i]);
    ran = ran && q.exec();
    if (!ran) {
        error = failed(q.lastError());
        m_retire = true;
        return false;
    }
    if (q.isSelect()) {
        toRun->holdsResult = true;
        ++m_openResults;
    }
    return true;
}

bool DatabaseSession::probe(const QString& statement, Error& error)
{
    if (!isOpen()) {
        error = ErrorCatalogue::make(ErrorNumber::ObjectClosed);
        return false;
    }
    if (!mayRun(statement, error))
        return false;
    const DatabaseWatchdog::Armed guard(m_watchdog, m_target.commandTimeout * 1000);
    QSqlQuery query(database());
    if (query.exec(statement))
        return true;
    error = failed(query.lastError());
    if (m_watchdog.fired())
        m_retire = true;
    return false;
}

bool DatabaseSession::mayRun(const QString& statement, Error& error) const
{
    if (!m_oneResult || m_openResults == 0)
        return true;
    error = Error{-2147217900,
                  u"Connessione occupata dai risultati di un altro comando: "_s + statement};
    return false;
}

Error DatabaseSession::failed(const QSqlError& error) const
{
    if (!m_watchdog.fired())
        return failure(error);
    // Cut off: the connection is gone, and no one waits on a new one for a while.
    const Error late = timedOut();
    unreachable(late);
    return late;
}

Error DatabaseSession::failure(const QSqlError& error) const
{
    return SqlError::toError(error, m_target.server);
}
