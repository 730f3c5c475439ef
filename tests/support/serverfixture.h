#pragma once

#include "app/eventwait.h"
#include "app/server.h"
#include "app/switches.h"
#include "support/fakenetworkcontrol.h"
#include "support/tempworkspace.h"
#include "support/testclock.h"
#include "terminal/terminalregistry.h"

#include <memory>

// A server core in a temporary workspace, on the fake network control, with
// waits scaled down a thousandfold.
class ServerFixture
{
public:
    // Terminals as (number, address); NumTerminali is their count.
    explicit ServerFixture(const QList<QStringList>& terminals = {});

    // Runs start-up to its end (the deferred steps included); false if it failed.
    bool start();
    // The log lines written so far.
    QStringList logLines() const;

    TempWorkspace workspace;
    TestClock clock;
    Switches switches;
    EventWait wait{0.001};
    TerminalRegistry registry;
    FakeNetworkControl control;
    std::unique_ptr<ParvixServer> server;
};
