#pragma once

#include "server/server.h"
#include "support/fakesite.h"

// A whole server core on a fake site.
class ServerFixture : public FakeSite
{
public:
    // Terminals as (number, address); NumTerminali is their count.
    explicit ServerFixture(const QList<QStringList>& terminals = {});

    // The site database, named in Connection.set; false (with its error) if
    // it cannot be made.
    bool useDatabase();
    // Runs start-up to its end (the deferred steps included); false if it failed.
    bool start();

    std::unique_ptr<ParvixServer> server;
};
