#include "support/livefixture.h"

using namespace Qt::StringLiterals;

LiveFixture::LiveFixture()
{
    settings.CartellaRegistro = u"Log"_s;
    settings.CartellaBackup = u"Backup"_s;
    settings.ModoTarga = u"TARGA"_s;
    settings.NumFiliale = 1;
    log.setLocation(workspace.path(), settings.CartellaRegistro);
}

bool LiveFixture::useDatabase()
{
    if (!makeDatabase())
        return false;
    useConnection(database->connectionString());
    return true;
}

void LiveFixture::useConnection(const QString& connectionString)
{
    session.configure(connectionString, workspace.path());
}

void LiveFixture::read(int terminal, const QString& record)
{
    road.handle({qint16(terminal), u"127.0.0.%1"_s.arg(10 + terminal), record, record.mid(17, 2)});
}
