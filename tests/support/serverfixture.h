#pragma once

#include "app/eventwait.h"
#include "app/server.h"
#include "app/switches.h"
#include "support/fakenetworkcontrol.h"
#include "support/tempworkspace.h"
#include "support/testclock.h"
#include "support/testdatabase.h"
#include "terminal/terminalregistry.h"

#include <memory>

// A server core in a temporary workspace, on the fake network control, with
// waits scaled down a thousandfold.
class ServerFixture
{
public:
    // Terminals as (number, address); NumTerminali is their count.
    explicit ServerFixture(const QList<QStringList>& terminals = {});

    // The site database is a fresh one of PARVIX_TEST_BACKEND, named in
    // Connection.set; false (with its error) if it cannot be made.
    bool useDatabase();
    // Ore.dat with field 19 (ModoTarga) as given.
    void setModoTarga(const QString& modoTarga);
    // Runs start-up to its end (the deferred steps included); false if it failed.
    bool start();

    // A message from terminal `terminal` at 127.0.0.(10 + terminal).
    void say(int terminal, const QString& text);
    // The texts sent to terminals, in order.
    QStringList sent() const;
    // The log lines written so far; those with an error number.
    QStringList logLines() const;
    QStringList errorLines() const;
    // The lines of a workspace file without the date and time the standing clock gives them.
    QStringList texts(const QString& file) const;
    // The links opened and texts sent, as "operation number address text length".
    QStringList calls() const;

    TempWorkspace workspace;
    TestClock clock;
    Switches switches;
    EventWait wait{0.001};
    TerminalRegistry registry;
    FakeNetworkControl control;
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<ParvixServer> server;
};
