#pragma once

#include "app/clock.h"
#include "app/eventwait.h"
#include "app/switches.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalregistry.h"

#include <QMap>

#include <memory>

// A clock that stands still until a test moves it.
class TestClock : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now{QDate(2026, 12, 6), QTime(10, 30, 0)};
};

// A network control that records every call and raises events when a test says so.
class FakeNetworkControl : public NetworkControl
{
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
    bool isListening() const override { return m_running; }

    // The result that the next calls of an operation give ("OpenLink", "SendText", ...).
    void setResult(const QString& operation, qint16 result) { m_results[operation] = result; }
    void setLocalAddress(const QString& address) { m_localAddress = address; }
    void setLinkType(qint16 type) { m_linkType = type; }

    QList<Call> calls() const { return m_calls; }
    QStringList operations() const;
    QList<Call> sends() const;
    void clearCalls() { m_calls.clear(); }

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
    // Kept in order; the result set for its operation, else Ok.
    qint16 record(const QString& operation, const QString& IPTer = {}, qint16 NumTer = 0,
                  const QString& text = {}, qint16 length = 0);

    QList<Call> m_calls;
    QMap<QString, qint16> m_results;
    QString m_localAddress = QStringLiteral("127.0.0.1");
    qint16 m_linkType = 2;
    bool m_running = false;
};

// What every fixture of the core stands on: a temporary workspace (log in
// "Log", journal in "Backup"), a standing clock, waits scaled down a
// thousandfold, and terminals behind the fake network control.
class FakeSite
{
public:
    FakeSite();

    // A message from terminal `terminal` at 127.0.0.(10 + terminal).
    void say(int terminal, const QString& text);
    // The texts sent to terminals, in order.
    QStringList sent() const;
    // The log lines written so far; those with an error number.
    QStringList logLines() const { return workspace.lines(QStringLiteral("Log/RegistroQZ.txt")); }
    QStringList errorLines() const { return logLines().filter(QStringLiteral("Errore #")); }
    // The lines of a workspace file without the date and time the standing clock gives them.
    QStringList texts(const QString& file) const;
    // The links opened and texts sent, as "operation number address text length".
    QStringList calls() const;

    TempWorkspace workspace;
    TestClock clock;
    Switches switches;
    EventWait wait{0.001};
    TerminalRegistry registry;
    FakeNetworkControl control;
    // A fresh site database of PARVIX_TEST_BACKEND, once a fixture makes it.
    std::unique_ptr<TestDatabase> database;

protected:
    // False (with its error) if the database cannot be made.
    bool makeDatabase();
};
