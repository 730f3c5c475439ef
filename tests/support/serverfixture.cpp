#include "support/serverfixture.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

ServerFixture::ServerFixture(const QList<QStringList>& terminals)
{
    workspace.writeCompleteSettings(terminals);
}

bool ServerFixture::start()
{
    server = std::make_unique<ParvixServer>(
        ParvixServer::Environment{clock, control, registry, switches, wait, workspace.path()});
    QSignalSpy started(server.get(), &ParvixServer::started);
    return server->start() && started.wait(5000);
}

QStringList ServerFixture::logLines() const
{
    return workspace.lines(u"Log/RegistroQZ.txt"_s);
}
