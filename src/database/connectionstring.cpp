#include "database/connectionstring.h"

#include <QDir>
#include <QMap>
#include <QSqlDatabase>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QStringList TimeoutKeys{u"connect timeout"_s, u"connection timeout"_s, u"command timeout"_s};

QString defaultSqlServerDriver()
{
#ifdef Q_OS_WIN
    return u"ODBC Driver 18 for SQL Server"_s;
#else
    return u"FreeTDS"_s;
#endif
}

// Key=Value pairs separated by ";"; keys without regard to case, values may be
// wrapped in braces or quotes when they hold a ";".
QMap<QString, QString> parsePairs(const QString& text)
{
    QMap<QString, QString> pairs;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(u'=', i);
        if (equals < 0)
            break;
        const QString key = text.mid(i, equals - i).trimmed().toLower();
        qsizetype j = equals + 1;
        while (j < text.size() && text[j] == u' ')
            ++j;
        QString value;
        const QChar open = j < text.size() ? text[j] : QChar();
        if (open == u'{' || open == u'"' || open == u'\'') {
            const QChar close = open == u'{' ? u'}' : open;
            const qsizetype end = text.indexOf(close, j + 1);
            value = text.mid(j + 1, (end < 0 ? text.size() : end) - j - 1);
            j = end < 0 ? text.size() : end + 1;
            const qsizetype semicolon = text.indexOf(u';', j);
            i = semicolon < 0 ? text.size() : semicolon + 1;
        } else {
            const qsizetype semicolon = text.indexOf(u';', j);
            value = text.mid(j, (semicolon < 0 ? text.size() : semicolon) - j).trimmed();
            i = semicolon < 0 ? text.size() : semicolon + 1;
        }
        if (!key.isEmpty())
            pairs.insert(key, value);
    }
    return pairs;
}

QString braced(const QString& value)
{
    return u'{' + value + u'}';
}

QString first(const QMap<QString, QString>& pairs, std::initializer_list<const char16_t*> keys)
{
    for (const char16_t* key : keys) {
        const auto it = pairs.find(QString::fromUtf16(key));
        if (it != pairs.end())
            return it.value();
    }
    return QString();
}

// A time-out in seconds from the string, within sane bounds; `fallback` without it.
int seconds(const QMap<QString, QString>& pairs, std::initializer_list<const char16_t*> keys,
            int fallback)
{
    bool ok = false;
    const int value = first(pairs, keys).toInt(&ok);
    return ok && value > 0 ? qMin(value, 3600) : fallback;
}

QString odbcOptions(int connectTimeout)
{
    return u"SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1"_s.arg(connectTimeout);
}

// The string an ODBC driver is given as it stands, without the keys Parvix reads itself.
QString withoutTimeouts(const QString& text)
{
    QStringList kept;
    for (const QString& pair : text.split(u';')) {
        if (!TimeoutKeys.contains(pair.section(u'=', 0, 0).trimmed().toLower()))
            kept.append(pair);
    }
    return kept.join(u';').trimmed();
}

DatabaseTarget sqlServer(const QMap<QString, QString>& pairs)
{
    DatabaseTarget target;
    target.backend = DatabaseTarget::Backend::Odbc;
    target.driver = u"QODBC"_s;
    const QString driver = pairs.value(u"driver"_s, defaultSqlServerDriver());
    QString server = first(pairs, {u"data source", u"server", u"address"});
    QString odbc = u"Driver="_s + braced(driver) + u';';
    // FreeTDS names the port apart; Microsoft's drivers take "host,port".
    const qsizetype comma = server.indexOf(u',');
    if (driver.contains(u"FreeTDS"_s, Qt::CaseInsensitive) && comma >= 0) {
        odbc += u"Server="_s + server.left(comma).trimmed() + u";Port="_s +
                server.mid(comma + 1).trimmed() + u';';
    } else {
        odbc += u"Server="_s + server + u';';
    }
    const QString catalog = first(pairs, {u"initial catalog", u"database"});
    if (!catalog.isEmpty())
        odbc += u"Database="_s + braced(catalog) + u';';
    const QString security = pairs.value(u"integrated security"_s).toLower();
    if (security == u"sspi"_s || security == u"true"_s || security == u"yes"_s) {
        odbc += u"Trusted_Connection=yes;"_s;
    } else {
        odbc += u"UID="_s + braced(first(pairs, {u"user id", u"uid", u"user"})) + u';';
        odbc += u"PWD="_s + braced(first(pairs, {u"password", u"pwd"})) + u';';
    }
    if (driver.contains(u"FreeTDS"_s, Qt::CaseInsensitive) && !pairs.contains(u"tds_version"_s))
        odbc += u"TDS_Version=7.4;"_s;
    if (pairs.contains(u"encrypt"_s))
        odbc += u"Encrypt="_s + pairs.value(u"encrypt"_s) + u';';
    if (pairs.contains(u"trustservercertificate"_s))
        odbc += u"TrustServerCertificate="_s + pairs.value(u"trustservercertificate"_s) + u';';
    target.databaseName = odbc;
    return target;
}

} // namespace

DatabaseTarget DatabaseTarget::fromConnectionString(const QString& text,
                                                    const QString& workingDirectory)
{
    const QMap<QString, QString> pairs = parsePairs(text);
    const QString provider = pairs.value(u"provider"_s).toLower();
    DatabaseTarget target;

    if (provider == u"sqlite"_s) {
        target.backend = Backend::SQLite;
        target.server = Server::SQLite;
        target.driver = u"QSQLITE"_s;
        const QString file =
            QDir(workingDirectory).absoluteFilePath(first(pairs, {u"data source"}));
        // mode=rw: a missing file is an error, never a new empty database.
        target.databaseName = QUrl::fromLocalFile(file).toString() + u"?mode=rw"_s;
        // A file locked by another program is waited for 5 s at most (less
        // with a shorter command time-out).
        target.options = u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1"_s;
    } else if (provider.startsWith(u"sqloledb"_s) || provider.startsWith(u"sqlncli"_s) ||
               provider.startsWith(u"msoledbsql"_s)) {
        target = sqlServer(pairs);
    } else if (provider == u"postgresql"_s || provider == u"npgsql"_s) {
        target.backend = Backend::PostgreSQL;
        target.server = Server::PostgreSQL;
        target.driver = u"QPSQL"_s;
        target.host = first(pairs, {u"host", u"server", u"data source"});
        bool ok = false;
        const int port = pairs.value(u"port"_s).toInt(&ok);
        target.port = ok ? port : -1;
        target.databaseName = first(pairs, {u"database", u"initial catalog"});
        target.user = first(pairs, {u"user id", u"username", u"user"});
        target.password = first(pairs, {u"password", u"pwd"});
        target.options = u"connect_timeout=%1;keepalives=1;keepalives_idle=30;"
                         "keepalives_interval=10;keepalives_count=3"_s;
    } else if (provider.isEmpty() && (pairs.contains(u"driver"_s) || pairs.contains(u"dsn"_s))) {
        target.backend = Backend::Odbc;
        target.driver = u"QODBC"_s;
        target.databaseName = withoutTimeouts(text);
        const QString driver = pairs.value(u"driver"_s).toLower();
        if (driver.contains(u"postgres"_s))
            target.server = Server::PostgreSQL;
        else if (driver.contains(u"sqlite"_s))
            target.server = Server::SQLite;
    } else {
        target.problem = provider.isEmpty()
                             ? u"Stringa di connessione senza Provider, Driver o DSN"_s
                             : u"Provider non supportato: "_s + pairs.value(u"provider"_s);
    }
    target.connectTimeout = seconds(pairs, {u"connect timeout", u"connection timeout"}, 5);
    target.commandTimeout = seconds(pairs, {u"command timeout"}, 30);
    if (target.backend == Backend::Odbc)
        target.options = odbcOptions(target.connectTimeout);
    if (target.backend == Backend::PostgreSQL)
        target.options = target.options.arg(target.connectTimeout);
    if (target.backend == Backend::SQLite)
        target.options = target.options.arg(qMin(5, target.commandTimeout) * 1000);
    return target;
}

QSqlDatabase DatabaseTarget::addDatabase(const QString& connectionName) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    db.setDatabaseName(databaseName);
    db.setHostName(host);
    db.setPort(port);
    db.setUserName(user);
    db.setPassword(password);
    db.setConnectOptions(options);
    return db;
}
