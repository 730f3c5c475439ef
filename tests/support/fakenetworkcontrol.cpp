#include "support/fakenetworkcontrol.h"

using namespace Qt::StringLiterals;

qint16 FakeNetworkControl::StartService()
{
    record(u"StartService"_s);
    m_running = true;
    return resultOf(u"StartService"_s);
}

qint16 FakeNetworkControl::StopService()
{
    record(u"StopService"_s);
    const bool wasRunning = m_running;
    m_running = false;
    return wasRunning ? Ok : AlreadyStopped;
}

void FakeNetworkControl::LocalAddress(QString& Address)
{
    record(u"LocalAddress"_s);
    Address = m_localAddress;
}

qint16 FakeNetworkControl::OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel)
{
    record(u"OpenLink"_s, IPTer, 0, Mode);
    Channel = 0;
    return resultOf(u"OpenLink"_s);
}

qint16 FakeNetworkControl::SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                                    qint16 Length)
{
    record(u"SendText"_s, IPTer, NumTer, Text, Length);
    return resultOf(u"SendText"_s);
}

qint16 FakeNetworkControl::LinkType(const QString& IPTer)
{
    record(u"LinkType"_s, IPTer);
    return m_linkType;
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
    for (const Call& call : m_calls) {
        if (call.operation == u"SendText"_s)
            result.append(call);
    }
    return result;
}

qint16 FakeNetworkControl::resultOf(const QString& operation) const
{
    return m_results.value(operation, Ok);
}

void FakeNetworkControl::record(const QString& operation, const QString& IPTer, qint16 NumTer,
                                const QString& text, qint16 length)
{
    m_calls.append({operation, IPTer, NumTer, text, length});
}
