#pragma once

#include "health/alerts.h"
#include "health/alertsettings.h"
#include "health/linkwatch.h"
#include "health/storagewatch.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class DatabaseSession;
class DownloadCycle;
class EventWait;
struct Error;
struct PassSummary;

// The health of the running server as the operator and the site's monitor
// see it: it watches the database session, the links, the download cycle and
// the folders from outside, and raises the alerts.
class HealthMonitor : public QObject
{
    Q_OBJECT

public:
    // How often the links, folders and disk are looked at.
    static constexpr int CheckInterval = 30000;

    struct Collaborators
    {
        OperatorReport& report;
        const Clock& clock;
        const EventWait& wait;
        const Settings& settings;
        const TerminalTable& table;
        NetworkControl& control;
        DatabaseSession& session;
        DownloadCycle& download;
        QString workingDirectory;
    };

    explicit HealthMonitor(const Collaborators& with, QObject* parent = nullptr);

    // Reads the thresholds (a faulty file is reported and the defaults used),
    // then looks at everything now and every CheckInterval.
    void start();
    void check();

    Alerts& alerts() { return m_alerts; }
    const Alerts& alerts() const { return m_alerts; }
    const LinkWatch& links() const { return m_links; }
    const StorageWatch& storage() const { return m_storage; }
    const AlertSettings& thresholds() const { return m_thresholds; }
    // Whether the database answered its last connection, and when it last did.
    bool databaseUp() const { return m_databaseUp; }
    QDateTime lastDatabaseSuccess() const { return m_lastDatabaseSuccess; }
    // The database, or the posting that waits for it, in its alert.
    bool databaseAlerted() const;
    bool spoolAlerted() const;

private:
    void databaseReached(bool answered, const Error& why);
    void passPosted(const PassSummary& summary);

    Collaborators m_with;
    Alerts m_alerts;
    LinkWatch m_links;
    StorageWatch m_storage;
    AlertSettings m_thresholds;
    QTimer m_timer;
    bool m_databaseUp = false;
    QDateTime m_lastDatabaseSuccess;
};
