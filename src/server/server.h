#pragma once

#include "app/activitylog.h"
#include "app/operatorreport.h"
#include "app/portstatusfile.h"
#include "app/settings.h"
#include "app/settingsfiles.h"
#include "database/databasesession.h"
#include "download/downloadcycle.h"
#include "health/healthmonitor.h"
#include "health/httpendpoint.h"
#include "health/servermetrics.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "live/livereadroad.h"
#include "posting/transitposting.h"
#include "terminal/connections.h"
#include "terminal/messagedispatch.h"
#include "terminal/terminalcommands.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class Clock;
class EventWait;
class NetworkControl;
class TerminalRegistry;
struct Error;
struct Switches;

// The server core: every procedure built from the parts it uses, start-up and
// shutdown. It holds no widget; a console or the headless front end watch it
// and its report.
class ParvixServer : public QObject
{
    Q_OBJECT

public:
    struct Environment
    {
        const Clock& clock;
        NetworkControl& control;
        TerminalRegistry& registry;
        const Switches& switches;
        const EventWait& wait;
        QString workingDirectory; // where Set/ and every relative path live
    };

    static constexpr auto DesignTitle = "Parvix (SQL Server)";
    // A database found unreachable is tried again after this many milliseconds.
    static constexpr int RetryInterval = 3000;

    explicit ParvixServer(const Environment& environment, QObject* parent = nullptr);

    // Runs the start-up sequence; false when a step failed and the program
    // must end. The steps after the first connection pass run one second
    // later and end with started().
    bool start();
    // Stops the network service; every failure is ignored, so it may run twice.
    void shutdown();

    const Settings& settings() const { return m_settings; }
    QString title() const { return m_title; }
    // The four parts of the server address, one per address label.
    QStringList addressLabels() const { return m_addressLabels; }
    QString startupFailure() const { return m_startupFailure; }

    ActivityLog& log() { return m_log; }
    OperatorReport& report() { return m_report; }
    PortStatusFile& portStatus() { return m_portStatus; }
    TerminalRegistry& registry() { return m_env.registry; }
    NetworkControl& control() { return m_env.control; }
    const Switches& switches() const { return m_env.switches; }
    const EventWait& wait() const { return m_env.wait; }
    TerminalCommands& commands() { return m_commands; }
    Connections& connections() { return m_connections; }
    MessageDispatch& dispatch() { return m_dispatch; }
    DatabaseSession& session() { return m_session; }
    BadgeCheck& check() { return m_check; }
    TransitPosting& posting() { return m_posting; }
    Confirmation& confirmation() { return m_confirmation; }
    LiveReadRoad& liveReads() { return m_liveReads; }
    DownloadCycle& download() { return m_download; }
    HealthMonitor& health() { return m_health; }
    ServerMetrics& metrics() { return m_metrics; }
    // The monitor's endpoint (/metrics, /health) on `address`:`port`; false
    // with the reason, told to the operator, when it cannot be opened.
    bool openEndpoint(const QHostAddress& address, quint16 port);
    const HttpEndpoint* endpoint() const { return m_endpoint.get(); }
    const Clock& clock() const { return m_env.clock; }
    QString workingDirectory() const { return m_env.workingDirectory; }

    // "Listen Off": true when the service was already stopped.
    bool stopListening();
    // "Listen On": the service again, and the server address if still unknown.
    void startListening();
    // The terminal table editor holds the download scheduler and the
    // reconnection timer while it is open.
    void holdTimers();
    void resumeTimers();
    // Saves the editor's rows and reloads the table by position, as start-up does.
    bool saveTerminalRows(const SettingsFiles::TerminalRows& rows, Error& error);
    QString terminalTablePath() const;

Q_SIGNALS:
    void titleChanged(const QString& title);
    void addressLabelsChanged(const QStringList& labels);
    void started();

private:
    bool failStartup(const Error& error);
    bool readCreatingDefault(const QString& path,
                             const std::function<bool(const QString&, Error&)>& read,
                             bool (*create)(const QString&, Error&));
    QString inWorkingDirectory(QLatin1StringView relativePath) const;
    QString buildTitle() const;
    void finishStartup();

    Environment m_env;
    Settings m_settings;
    ActivityLog m_log;
    OperatorReport m_report;
    PortStatusFile m_portStatus;
    QString FaseAvvio;
    QStringList m_addressLabels;
    QString m_title;
    QString m_startupFailure;
    TerminalCommands m_commands;
    Connections m_connections;
    MessageDispatch m_dispatch;
    DatabaseSession m_session;
    BadgeCheck m_check;
    TransitPosting m_posting;
    Confirmation m_confirmation;
    LiveReadRoad m_liveReads;
    DownloadCycle m_download;
    HealthMonitor m_health;
    ServerMetrics m_metrics;
    std::unique_ptr<HttpEndpoint> m_endpoint;
};
