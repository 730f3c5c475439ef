#pragma once

#include "support/simulatedterminals.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <memory>

// The real server binary on a site of its own: a workspace, simulated
// terminals, a fresh database of PARVIX_TEST_BACKEND; headless, a hundred
// times faster, on a free port.
class SiteFixture
{
public:
    SiteFixture() { workspace.writeCompleteSettings(); }
    ~SiteFixture();

    // Terminals ("address=number") and any `extraTable` entries in the
    // settings; the database, through `viaPort` of 127.0.0.1 if given.
    bool prepare(const QStringList& terminals, const QList<QStringList>& extraTable = {},
                 quint16 viaPort = 0, const QString& options = {});
    // `arguments` win over the defaults.
    bool startServer(const QStringList& arguments = {}, const QByteArray& crashAt = {});
    bool serverRunning() const { return server.state() != QProcess::NotRunning; }
    void signalServer(int signal);
    // SIGTERM, then an exit of its own with code 0.
    bool stopServer();
    // Each terminal greeted `times` by the server, and listed by it.
    bool greeted(qsizetype times = 1);
    // Until `line` is printed once more, by a terminal or by the server.
    bool sendAndWait(const QByteArray& commands, const QString& line, int timeoutMs = 10000);
    QStringList logLines() const { return workspace.lines(QStringLiteral("Log/RegistroQZ.txt")); }
    // The terminals' files emptied, every spool line posted or rejected.
    bool drained() const;
    // The database and the journal as posting `records` once each in time
    // order leaves them, plus the `live` attendance rows; no line failed.
    void expectPosted(const QStringList& records, const QStringList& live = {});

    TempWorkspace workspace;
    SimulatedTerminals terminals;
    std::unique_ptr<TestDatabase> database;
    QProcess server;
    ProcessLines serverLines{server};
};
