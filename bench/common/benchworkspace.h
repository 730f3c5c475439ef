#pragma once

#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QProcess>

#include <memory>

// A working directory with the demo database on one backend ("sqlite" or
// "postgresql"), and the headless server run in it.
class BenchWorkspace
{
public:
    explicit BenchWorkspace(const QString& backend);
    ~BenchWorkspace();

    bool isValid() const { return m_database->isValid(); }
    QString error() const { return m_database->error(); }
    TempWorkspace& files() { return m_files; }
    TestDatabase& database() { return *m_database; }

    // Every settings file, with the terminal table given (number, address).
    void writeSettings(const QList<QStringList>& terminals);
    enum class Mode
    {
        Headless,
        Window // on the offscreen platform
    };
    // `more`: further options for the server.
    bool startServer(double timeScale, Mode mode = Mode::Headless, const QStringList& more = {});
    void stopServer();
    qint64 serverPid() const { return m_server.processId(); }

    // The backends a --backend option names: sqlite, postgresql or all.
    static QStringList backends(const QString& choice);
    // Starts what a backend needs: the PostgreSQL cluster of the tests when
    // it is not running (false, said on standard output, when it cannot).
    // stopPostgreSQL() removes it again only if it was started here.
    static bool prepare(const QString& backend);
    static void stopPostgreSQL();

private:
    TempWorkspace m_files;
    std::unique_ptr<TestDatabase> m_database;
    QProcess m_server;
};
