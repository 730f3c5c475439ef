#include "support/serverfixture.h"

#include "app/recordwriter.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

ServerFixture::ServerFixture(const QList<QStringList>& terminals)
{
    workspace.writeCompleteSettings(terminals);
}

bool ServerFixture::useDatabase()
{
    if (!makeDatabase())
        return false;
    workspace.write(u"Set/Connection.set"_s,
                    RecordWriter::quotedRecord({database->connectionString()}));
    return true;
}

bool ServerFixture::start()
{
    server = std::make_unique<ParvixServer>(
        ParvixServer::Environment{clock, control, registry, switches, wait, workspace.path()});
    QSignalSpy started(server.get(), &ParvixServer::started);
    return server->start() && started.wait(5000);
}
