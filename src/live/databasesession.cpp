#include "live/databasesession.h"

#include "app/activitylog.h"
#include "app/errorcatalogue.h"
#include "terminal/terminalregistry.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString ConnectionName = u"parvix-transit"_s;

} // namespace

DatabaseSession::DatabaseSession(ActivityLog& log, TerminalRegistry& registry)
    : m_log(log)
    , m_registry(registry)
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
    m_embeddedFile = QFile::encodeName(QUrl(m_target.databaseName).toLocalFile());
}

void DatabaseSession::Open_DB()
{
    m_log.SpY(401);
    if (connectionReusable())
        return;
    closeConnection();
    Error error;
    if (m_target.backend == DatabaseTarget::Backend::Unknown) {
        error = Error{ErrorNumber::ProviderNotFound, m_target.problem};
    } else if (!QSqlDatabase::isDriverAvailable(m_target.driver)) {
        error = Error{ErrorNumber::ProviderNotFound,
                      ErrorCatalogue::description(ErrorNumber::ProviderNotFound) + u": "_s +
                          m_target.driver};
    } else {
        QSqlDatabase db = m_target.addDatabase(ConnectionName);
        if (!db.open())
            error = errorOf(db.lastError());
        else if (m_target.backend == DatabaseTarget::Backend::SQLite)
            useWriteAheadLog(db);
        m_openedFile = fileIdentity();
    }
    if (!error.isSet())
        return;
    MsgErrore = u"Op DB:Errore #"_s + QString::number(error.number) + u" verificato: "_s +
                error.description;
    m_registry.BadgeErrato = 1;
    m_log.LogFile(MsgErrore);
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
    if (m_inTransaction && isOpen())
        database().rollback();
    m_inTransaction = false;
    if (m_retire)
        closeConnection();
}

bool DatabaseSession::connectionReusable() const
{
    if (m_retire || !isOpen())
        return false;
    if (isEmbedded()) // replaced, moved or deleted under the server: open it anew
        return fileIdentity() == m_openedFile && m_openedFile.second != 0;
    QSqlQuery ping(database());
    return ping.exec(u"SELECT 1"_s);
}

void DatabaseSession::closeConnection()
{
    m_retire = false;
    m_inTransaction = false;
    m_prepared.clear();
    if (!QSqlDatabase::contains(ConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(ConnectionName);
}

std::pair<quint64, quint64> DatabaseSession::fileIdentity() const
{
    struct stat status = {};
    if (!isEmbedded() || ::stat(m_embeddedFile.constData(), &status) != 0)
        return {0, 0};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

void DatabaseSession::begin()
{
    if (isOpen())
        m_inTransaction = database().transaction();
}

namespace {
constexpr qint64 LinesPerToken = 1000000;
}

void DatabaseSession::markPosted(int token, qint64 line)
{
    if (m_target.backend != DatabaseTarget::Backend::SQLite || !isOpen() || token <= 0)
        return;
    QSqlQuery(database())
        .exec(u"PRAGMA user_version = "_s + QString::number(token * LinesPerToken + line));
}

qint64 DatabaseSession::postedMark(int token)
{
    if (m_target.backend != DatabaseTarget::Backend::SQLite || !isOpen() || token <= 0)
        return -1;
    QSqlQuery query(database());
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next())
        return -1;
    const qint64 mark = query.value(0).toLongLong();
    return mark / LinesPerToken == token ? mark % LinesPerToken : -1;
}

void DatabaseSession::commit()
{
    if (!isOpen() || !m_inTransaction)
        return;
    m_inTransaction = false;
    if (database().commit())
        return;
    m_retire = true;
    const Error error = errorOf(database().lastError());
    m_log.LogFile(u"Errore #"_s + QString::number(error.number) + u" verificato: "_s +
                  error.description);
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
    if (m_observer)
        m_observer(statement, values);
    std::shared_ptr<PreparedStatement>& prepared = m_prepared[statement];
    std::shared_ptr<PreparedStatement> toRun = prepared;
    bool ran = true;
    if (!toRun || toRun->inUse) {
        // Prepared here the first time; a statement still being read by a
        // caller gets a one-off twin.
        toRun = std::make_shared<PreparedStatement>(PreparedStatement{QSqlQuery(database())});
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
        error = errorOf(q.lastError());
        m_retire = true;
    }
    return ran;
}

// The driver's native error number (the first number in its code, so an
// SQLSTATE such as "08006" still gives a number) and its text.
Error DatabaseSession::errorOf(const QSqlError& error)
{
    bool ok = false;
    int number = error.nativeErrorCode().toInt(&ok);
    if (!ok || number == 0)
        number = error.type() == QSqlError::ConnectionError ? -2147467259 : -2147217900;
    // One log line: the drivers' line breaks and indents become single blanks.
    QString text = error.databaseText().simplified();
    if (text.isEmpty())
        text = error.driverText().simplified();
    return Error{number, text};
}
