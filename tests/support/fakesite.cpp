#include "support/fakesite.h"

#include "app/datedline.h"

#include <QDir>

using namespace Qt::StringLiterals;

FakeSite::FakeSite()
{
    QDir(workspace.path()).mkpath(u"Log"_s);
    QDir(workspace.path()).mkpath(u"Backup"_s);
}

bool FakeSite::makeDatabase()
{
    database = std::make_unique<TestDatabase>(workspace.path());
    return database->isValid();
}

void FakeSite::say(int terminal, const QString& text)
{
    control.raiseData(u"127.0.0.%1"_s.arg(10 + terminal), text, qint16(terminal));
}

QStringList FakeSite::sent() const
{
    QStringList texts;
    for (const auto& send : control.sends())
        texts.append(send.text);
    return texts;
}

QStringList FakeSite::texts(const QString& file) const
{
    const qsizetype prefix = DatedLine::make(clock.now(), QString()).size() - 2;
    QStringList lines = workspace.lines(file);
    for (QString& line : lines)
        line.remove(0, prefix);
    return lines;
}

QStringList FakeSite::calls() const
{
    QStringList made;
    for (const auto& call : control.calls()) {
        if (call.operation == u"OpenLink"_s || call.operation == u"SendText"_s)
            made << u"%1 %2 %3 %4 %5"_s.arg(call.operation, QString::number(call.NumTer),
                                            call.IPTer, call.text, QString::number(call.length));
    }
    return made;
}

QStringList FakeNetworkControl::operations() const
{
    QStringList names;
    for (const Call& call : m_calls)
        names.append(call.operation);
    return names;
}

QList<FakeNetworkControl::Call> FakeNetworkControl::sends() const
{
    QList<Call> result;
    std::copy_if(m_calls.cbegin(), m_calls.cend(), std::back_inserter(result),
                 [](const Call& call) { return call.operation == u"SendText"_s; });
    return result;
}

qint16 FakeNetworkControl::record(const QString& operation, const QString& IPTer, qint16 NumTer,
                                  const QString& text, qint16 length)
{
    m_calls.append({operation, IPTer, NumTer, text, length});
    return m_results.value(operation, Ok);
}

qint16 FakeNetworkControl::StartService()
{
    m_running = true;
    return record(u"StartService"_s);
}

qint16 FakeNetworkControl::StopService()
{
    record(u"StopService"_s);
    return std::exchange(m_running, false) ? Ok : AlreadyStopped;
}

void FakeNetworkControl::LocalAddress(QString& Address)
{
    record(u"LocalAddress"_s);
    Address = m_localAddress;
}

qint16 FakeNetworkControl::OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel)
{
    Channel = 0;
    return record(u"OpenLink"_s, IPTer, 0, Mode);
}

qint16 FakeNetworkControl::SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                                    qint16 Length)
{
    return record(u"SendText"_s, IPTer, NumTer, Text, Length);
}

qint16 FakeNetworkControl::LinkType(const QString& IPTer)
{
    record(u"LinkType"_s, IPTer);
    return m_linkType;
}
