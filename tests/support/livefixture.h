#pragma once

#include "app/activitylog.h"
#include "app/settings.h"
#include "database/databasesession.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "live/livereadroad.h"
#include "posting/transitposting.h"
#include "support/fakesite.h"
#include "terminal/terminalcommands.h"

// The parts of the live road alone, built as the server builds them, with
// the settings of a site of branch 1 that shows order numbers ("TARGA").
class LiveFixture : public FakeSite
{
public:
    LiveFixture();

    // The site database, or the connection string given; false (with its
    // error) if the database cannot be made.
    bool useDatabase();
    void useConnection(const QString& connectionString);
    // A record read on terminal `terminal`, down the whole road.
    void read(int terminal, const QString& record);

    Settings settings;
    ActivityLog log{clock, switches};
    TerminalCommands commands{registry, control, wait};
    DatabaseSession session{log};
    BadgeCheck check{{registry, commands, session, log, settings, wait}};
    TransitPosting posting{log, session, settings, clock, workspace.path()};
    Confirmation confirmation{registry, commands, log, settings};
    LiveReadRoad road{{session, check, posting, confirmation, registry}};
};
