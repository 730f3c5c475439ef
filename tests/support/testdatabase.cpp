#include "support/testdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {

QString pgPort()
{
    return qEnvironmentVariable("PARVIX_PG_PORT", u"55432"_s);
}

QSqlDatabase postgres(const QString& name, const QString& database)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
    db.setHostName(u"127.0.0.1"_s);
    db.setPort(pgPort().toInt());
    db.setUserName(u"parvix"_s);
    db.setPassword(u"parvix"_s);
    db.setDatabaseName(database);
    return db;
}

int g_databases = 0;

// Every test holds the database session to SQL Server's rule of one open
// result at a time (the server started by a system test inherits it).
void holdToOneResult()
{
    qputenv("PARVIX_ONE_RESULT", "1");
}
Q_CONSTRUCTOR_FUNCTION(holdToOneResult)

} // namespace

TestDatabase::TestDatabase(const QString& workingDirectory)
    : m_backend(qEnvironmentVariable("PARVIX_TEST_BACKEND", u"sqlite"_s))
    , m_connection(u"parvix-fixture-%1"_s.arg(++g_databases))
{
    if (isPostgreSQL()) {
        m_database =
            u"parvix_test_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(g_databases);
        if (!administer({u"CREATE DATABASE "_s + m_database}))
            m_error = u"PostgreSQL test cluster: cannot create "_s + m_database;
        postgres(m_connection, m_database);
    } else {
        m_file = QDir(workingDirectory).filePath(u"parvix.db"_s);
        QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection).setDatabaseName(m_file);
    }
    const QSqlDatabase db = QSqlDatabase::database(m_connection, isValid());
    if (isValid() && !db.isOpen())
        m_error = db.lastError().text();
    const QString folder = QString::fromLatin1(PARVIX_DB_DIR);
    const QString schema = isPostgreSQL() ? u"/postgresql/schema.sql"_s : u"/sqlite/schema.sql"_s;
    if (isValid() && load(folder + schema))
        load(folder + u"/demo.sql"_s);
}

TestDatabase::~TestDatabase()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    if (!m_database.isEmpty())
        administer({u"DROP DATABASE IF EXISTS "_s + m_database + u" WITH (FORCE)"_s});
}

bool TestDatabase::administer(const QStringList& statements) const
{
    bool done = false;
    {
        QSqlDatabase admin = postgres(m_connection + u"-admin"_s, u"postgres"_s);
        QSqlQuery query(admin);
        done = admin.open();
        for (const QString& statement : statements)
            done = done && query.exec(statement);
    }
    QSqlDatabase::removeDatabase(m_connection + u"-admin"_s);
    return done;
}

QString TestDatabase::connectionString(quint16 viaPort) const
{
    const QString port = viaPort > 0 ? QString::number(viaPort) : pgPort();
    if (m_backend == u"postgresql"_s)
        return u"Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User ID=parvix;Password=parvix"_s
            .arg(port, m_database);
    if (m_backend == u"odbc-postgresql"_s)
        return u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;Database=%2;Uid=parvix;Pwd=parvix;"_s
            .arg(port, m_database);
    if (m_backend == u"odbc-sqlite"_s)
        return u"Driver={SQLite3};Database=%1;"_s.arg(m_file);
    return u"Provider=SQLite;Data Source=parvix.db"_s;
}

bool TestDatabase::setReachable(bool reachable)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
    if (!isPostgreSQL()) {
        const QString away = m_file + u".away"_s;
        return reachable ? QFile::rename(away, m_file) && db.open() : QFile::rename(m_file, away);
    }
    return administer({u"ALTER DATABASE %1 ALLOW_CONNECTIONS %2"_s.arg(
                           m_database, reachable ? u"true"_s : u"false"_s),
                       u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                       "datname = '%1'"_s.arg(m_database)}) &&
           (!reachable || db.open());
}

bool TestDatabase::exec(const QString& statement, const QVariantList& values)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    return run(query, statement, values);
}

// PostgreSQL cannot prepare DDL, so statements without values run directly.
bool TestDatabase::run(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    if (!values.isEmpty()) {
        query.prepare(statement);
        for (const QVariant& value : values)
            query.addBindValue(value);
    }
    if (values.isEmpty() ? query.exec(statement) : query.exec())
        return true;
    m_error = statement + u": "_s + query.lastError().text();
    return false;
}

QStringList TestDatabase::rows(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    QStringList result;
    if (!run(query, statement))
        return result;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant value = query.value(i);
            if (value.isNull())
                values.append(u"-"_s);
            else if (value.typeId() == QMetaType::QDate)
                values.append(value.toDate().toString(u"yyyy-MM-dd"_s));
            else if (value.typeId() == QMetaType::QDateTime)
                values.append(value.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s));
            else
                values.append(value.toString().remove(u".000"_s));
        }
        result.append(values.join(u'|'));
    }
    return result;
}

bool TestDatabase::load(const QString& file)
{
    QFile script(file);
    if (!script.open(QIODevice::ReadOnly)) {
        m_error = file + u": "_s + script.errorString();
        return false;
    }
    QStringList lines = QString::fromUtf8(script.readAll()).split(u'\n');
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(u"--"_s); });
    for (const QString& statement : lines.join(u'\n').split(u';')) {
        if (!statement.trimmed().isEmpty() && !exec(statement))
            return false;
    }
    return true;
}
