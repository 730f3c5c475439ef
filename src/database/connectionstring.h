#pragma once

#include <QString>

class QSqlDatabase;

// What a site's connection string (Set/Connection.set) means to Qt's SQL
// drivers. The forms the installation already uses keep working:
//   Provider=SQLite;Data Source=FILE                     embedded SQLite file
//   Provider=SQLOLEDB|SQLNCLI…|MSOLEDBSQL…;Data Source=;Initial Catalog=;
//     User ID=;Password=;Integrated Security=            SQL Server through ODBC
//   Provider=PostgreSQL;Host=;Port=;Database=;User ID=;Password=
//   any string with Driver= or DSN= and no Provider     ODBC as it stands
// and, on any of them, Connect Timeout=N and Command Timeout=N (seconds).
struct DatabaseTarget
{
    enum class Backend
    {
        Unknown,
        SQLite,
        Odbc,
        PostgreSQL
    };
    // The database server behind the driver; ODBC names it by its driver.
    enum class Server
    {
        SQLite,
        PostgreSQL,
        SqlServer
    };

    Backend backend = Backend::Unknown;
    Server server = Server::SqlServer;
    QString driver;       // Qt driver name: QSQLITE, QODBC, QPSQL
    QString databaseName; // file, ODBC connection string, or database
    QString host;
    int port = -1;
    QString user;
    QString password;
    QString options; // Qt connect options
    QString problem; // why the string is not understood, when Unknown
    // Seconds; "Connect Timeout=N" and "Command Timeout=N" in the string, on every backend.
    int connectTimeout = 5;
    int commandTimeout = 30;

    // `workingDirectory` anchors a relative SQLite file.
    static DatabaseTarget fromConnectionString(const QString& text,
                                               const QString& workingDirectory);

    // A connection of this target under `connectionName`, set up, not opened.
    QSqlDatabase addDatabase(const QString& connectionName) const;
};
