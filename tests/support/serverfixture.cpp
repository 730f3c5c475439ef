#include "support/serverfixture.h"

#include "app/datedline.h"
#include "app/recordwriter.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

ServerFixture::ServerFixture(const QList<QStringList>& terminals)
{
    workspace.writeCompleteSettings(terminals);
}

bool ServerFixture::useDatabase()
{
    database = std::make_unique<TestDatabase>(workspace.path());
    workspace.write(u"Set/Connection.set"_s,
                    RecordWriter::quotedRecord({database->connectionString()}));
    return database->isValid();
}

void ServerFixture::setModoTarga(const QString& modoTarga)
{
    QStringList ore(19, QString());
    ore[18] = modoTarga;
    workspace.write(u"Ore.dat"_s, RecordWriter::quotedRecord(ore));
}

bool ServerFixture::start()
{
    server = std::make_unique<ParvixServer>(
        ParvixServer::Environment{clock, control, registry, switches, wait, workspace.path()});
    QSignalSpy started(server.get(), &ParvixServer::started);
    return server->start() && started.wait(5000);
}

void ServerFixture::say(int terminal, const QString& text)
{
    control.raiseData(u"127.0.0.%1"_s.arg(10 + terminal), text, static_cast<qint16>(terminal));
}

QStringList ServerFixture::sent() const
{
    QStringList texts;
    for (const auto& send : control.sends())
        texts.append(send.text);
    return texts;
}

QStringList ServerFixture::logLines() const
{
    return workspace.lines(u"Log/RegistroQZ.txt"_s);
}

QStringList ServerFixture::errorLines() const
{
    return logLines().filter(u"Errore #"_s);
}

QStringList ServerFixture::texts(const QString& file) const
{
    const qsizetype prefix = DatedLine::make(clock.now(), QString()).size() - 2;
    QStringList lines = workspace.lines(file);
    for (QString& line : lines)
        line.remove(0, prefix);
    return lines;
}

QStringList ServerFixture::calls() const
{
    QStringList made;
    for (const auto& call : control.calls()) {
        if (call.operation == u"OpenLink"_s || call.operation == u"SendText"_s)
            made << u"%1 %2 %3 %4 %5"_s.arg(call.operation, QString::number(call.NumTer),
                                            call.IPTer, call.text, QString::number(call.length));
    }
    return made;
}
