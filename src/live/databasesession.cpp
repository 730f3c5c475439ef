#include "live/databasesession.h"

#include "app/activitylog.h"
#include "app/errorcatalogue.h"
#include "terminal/terminalregistry.h"

#include <QSqlError>
#include <QSqlQuery>

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
    QSqlDatabase::removeDatabase(ConnectionName);
}

void DatabaseSession::configure(const QString& StringaConn, const QString& workingDirectory)
{
    m_target = DatabaseTarget::fromConnectionString(StringaConn, workingDirectory);
    m_dialect = Dialect(m_target);
}

void DatabaseSession::Open_DB()
{
    m_log.SpY(401);
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

void DatabaseSession::Close_DB()
{
    m_log.SpY(501);
    if (!QSqlDatabase::contains(ConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(ConnectionName);
}

void DatabaseSession::begin()
{
    if (isOpen())
        database().transaction();
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
    if (!isOpen() || database().commit())
        return;
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

bool DatabaseSession::run(QSqlQuery& query, const QString& statement, const QVariantList& values,
                          Error& error) const
{
    if (!isOpen()) {
        error = ErrorCatalogue::make(ErrorNumber::ObjectClosed);
        return false;
    }
    if (m_observer)
        m_observer(statement, values);
    query = QSqlQuery(database());
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        error = errorOf(query.lastError());
        return false;
    }
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        error = errorOf(query.lastError());
        return false;
    }
    return true;
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
