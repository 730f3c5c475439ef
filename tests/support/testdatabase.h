#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

class QSqlQuery;

// A fresh database with the schema of db/ and the demo data, on the backend
// that PARVIX_TEST_BACKEND names: sqlite (default), postgresql,
// odbc-postgresql or odbc-sqlite. PostgreSQL is the test cluster of
// scripts/pg-cluster.sh (PARVIX_PG_PORT, default 55432).
class TestDatabase
{
public:
    explicit TestDatabase(const QString& workingDirectory);
    ~TestDatabase();

    QString backend() const { return m_backend; }
    bool isPostgreSQL() const { return m_backend.endsWith(u"postgresql"); }
    QString error() const { return m_error; }
    bool isValid() const { return m_error.isEmpty(); }

    // What Set/Connection.set holds for the server to reach this database
    // (PostgreSQL: through another port of 127.0.0.1 when one is given).
    QString connectionString(quint16 viaPort = 0) const;

    // An outage of this database alone: the SQLite file moved away, or
    // PostgreSQL refusing connections to it and dropping those it has.
    bool setReachable(bool reachable);
    bool exec(const QString& statement, const QVariantList& values = {});
    // The rows of a query, each as its values joined by "|": dates as
    // YYYY-MM-DD, date-times as YYYY-MM-DD HH:MM:SS, Null as "-".
    QStringList rows(const QString& statement);
    QVariant scalar(const QString& statement) { return rows(statement).value(0); }

private:
    bool load(const QString& file);
    // Statements on the PostgreSQL cluster's maintenance database.
    bool administer(const QStringList& statements) const;
    // A statement on this database; its error is kept when it fails.
    bool run(QSqlQuery& query, const QString& statement, const QVariantList& values = {});

    QString m_backend;
    QString m_connection;
    QString m_file;     // SQLite
    QString m_database; // PostgreSQL
    QString m_error;
};
