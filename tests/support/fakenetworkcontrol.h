#pragma once

#include "terminal/netctl/networkcontrol.h"

#include <QList>
#include <QMap>

// A network control that records every call and raises events when a test says so.
class FakeNetworkControl : public NetworkControl
{
    Q_OBJECT

public:
    struct Call
    {
        QString operation;
        QString IPTer;
        qint16 NumTer = 0;
        QString text;
        qint16 length = 0;
    };

    using NetworkControl::NetworkControl;

    qint16 StartService() override;
    qint16 StopService() override;
    void LocalAddress(QString& Address) override;
    qint16 OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel) override;
    qint16 SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                    qint16 Length) override;
    qint16 LinkType(const QString& IPTer) override;

    // The result that the next calls of an operation give ("OpenLink", "SendText", ...).
    void setResult(const QString& operation, qint16 result) { m_results[operation] = result; }
    void setLocalAddress(const QString& address) { m_localAddress = address; }
    void setLinkType(qint16 type) { m_linkType = type; }

    QList<Call> calls() const { return m_calls; }
    QStringList operations() const;
    QList<Call> sends() const;
    void clearCalls() { m_calls.clear(); }
    bool running() const { return m_running; }

    void raiseConnect(const QString& IPTer) { Q_EMIT OnConnect(IPTer); }
    void raiseData(const QString& IPTer, const QString& data, qint16 NumTer)
    {
        Q_EMIT OnDataArrival(IPTer, data, NumTer);
    }
    void raiseStateChange(qint16 state, const QString& IPTer, qint16 NumTer)
    {
        Q_EMIT OnStateChange(state, IPTer, NumTer);
    }

private:
    qint16 resultOf(const QString& operation) const;
    void record(const QString& operation, const QString& IPTer = {}, qint16 NumTer = 0,
                const QString& text = {}, qint16 length = 0);

    QList<Call> m_calls;
    QMap<QString, qint16> m_results;
    QString m_localAddress = QStringLiteral("127.0.0.1");
    qint16 m_linkType = 2;
    bool m_running = false;
};
