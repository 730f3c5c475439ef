#pragma once

#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QProcess>

#include <memory>

// Under AddressSanitizer the process's memory is mostly the sanitizer's own
// (Qt's headers give every compiler a __has_feature).
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
inline constexpr bool MemoryIsMeaningful = false;
#else
inline constexpr bool MemoryIsMeaningful = true;
#endif

// Collects what a process prints on standard output, line by line, so a test
// can wait for the line it expects.
class ProcessLines : public QObject
{
public:
    explicit ProcessLines(QProcess& process);

    qsizetype count(const QString& text) const { return lines.filter(text).size(); }
    // Waits until `text` has been printed in `times` lines.
    bool waitFor(const QString& text, qsizetype times = 1, int timeoutMs = 10000);

    QStringList lines;
};

// parvix-termsim started in `folder` with the terminals "address=number",
// each listening on a free port of its own address; `table` gets their
// entries ("number", "address:port"). False when they do not come up.
bool startTerminals(QProcess& process, ProcessLines& lines, const QString& folder,
                    const QStringList& addresses, QList<QStringList>& table);

// The real server binary on a site of its own: a workspace, simulated
// terminals, a fresh database of PARVIX_TEST_BACKEND; headless, a hundred
// times faster, on a free port.
class SiteFixture
{
public:
    SiteFixture() { workspace.writeCompleteSettings(); }
    ~SiteFixture();

    // Terminals of `addresses` ("address=number") started, then in the settings with any
    // `extraTable` entries; the database, through `viaPort` of 127.0.0.1 if given.
    bool prepare(const QStringList& addresses, const QList<QStringList>& extraTable = {},
                 quint16 viaPort = 0, const QString& options = {});
    // On a port nothing listens on, kept in `listenPort`; `arguments` win over the defaults.
    bool startServer(const QStringList& arguments = {}, const QByteArray& crashAt = {});
    // SIGTERM, then an exit of its own with code 0.
    bool stopServer();
    // Each terminal greeted `times` by the server, and listed by it.
    bool greeted(qsizetype times = 1);
    // Every record a terminal stored: the 32 characters between 2 and 3.
    QStringList stored() const;
    QStringList logLines() const { return workspace.lines(QStringLiteral("Log/RegistroQZ.txt")); }
    // The server's resident memory; 0 where the system does not say.
    qint64 residentKilobytes() const;
    // The terminals' files emptied, every spool line posted or rejected.
    bool drained() const;
    // The database and the journal as posting `records` once each in time
    // order leaves them, plus the `live` attendance rows; no line failed.
    void expectPosted(QStringList records, const QStringList& live = {});

    TempWorkspace workspace;
    std::unique_ptr<TestDatabase> database;
    // parvix-termsim: every terminal listens on a free port of its own address,
    // and the table names it as "address:port", so tests running side by side
    // never race for a port.
    QProcess terminals;
    ProcessLines terminalLines{terminals};
    QList<QStringList> table; // ("number", "address:port") of the terminals started
    QProcess server;
    ProcessLines serverLines{server};
    quint16 listenPort = 0;
};
