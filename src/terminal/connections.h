#pragma once

#include <QObject>
#include <QTimer>

class EventWait;
class NetworkControl;
class OperatorReport;
class PortStatusFile;
class TerminalCommands;
class TerminalRegistry;
struct Settings;

// Links to the configured terminals: the connection pass Collega, the link
// events of the network control, and the two timers that call Collega again
// (two seconds after start-up, then every sixteen minutes).
class Connections : public QObject
{
    Q_OBJECT

public:
    static constexpr int Timer4Interval = 60000;
    static constexpr int Timer5Interval = 2000;

    struct Collaborators
    {
        TerminalRegistry& registry;
        NetworkControl& control;
        TerminalCommands& commands;
        PortStatusFile& portStatus;
        OperatorReport& report;
        const Settings& settings;
        const EventWait& wait;
    };

    explicit Connections(const Collaborators& with, QObject* parent = nullptr);

    void Collega();
    void OnConnect(const QString& IPTer);
    void OnStateChange(qint16 State, const QString& IPTer, qint16 NumTer);

    // Timer4: reconnection every 16th tick, counted from 0.
    void startReconnection();
    // Timer5: one Collega two seconds after start-up.
    void startFirstReconnect();
    void Timer4Tick();
    void holdReconnection();
    const QTimer& reconnectionTimer() const { return Timer4; }
    void resumeReconnection();

    // A terminal on line: a port entry and a line in the port status file.
    void enterPort(qint64 number, const QString& IPTer);

private:
    void reportLinkError(qint64 number, int error, const QString& description);

    Collaborators m_with;
    QTimer Timer4;
    QTimer Timer5;
};
