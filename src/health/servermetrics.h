#pragma once

#include "download/passposting.h"
#include "health/exposition.h"
#include "health/httpendpoint.h"
#include "live/livereadroad.h"

#include <QDateTime>
#include <QObject>

#include <array>

class Clock;
class DownloadCycle;
class HealthMonitor;
class NetworkControl;

// The server's figures for the site's monitor: counted as reads and passes
// happen, the rest looked up when asked, without touching the site database.
class ServerMetrics : public QObject
{
    Q_OBJECT

public:
    struct Collaborators
    {
        const Clock& clock;
        LiveReadRoad& liveReads;
        DownloadCycle& download;
        const HealthMonitor& health;
        const NetworkControl& control;
    };

    explicit ServerMetrics(const Collaborators& with, QObject* parent = nullptr);

    // The Prometheus text exposition.
    QByteArray exposition();
    // A small JSON summary; 503 when the server cannot do its work (the
    // terminals' port not held, the database or the spool in its alert),
    // 200 otherwise.
    int health(QByteArray& body);
    // The routes of the monitor's endpoint: /metrics and /health.
    HttpEndpoint::Response answer(const QByteArray& path);

private:
    void readHandled(LiveReadRoad::Outcome outcome, double seconds);
    void passPosted(const PassSummary& summary);

    Collaborators m_with;
    QDateTime m_started;
    std::array<quint64, 3> m_reads{};
    Histogram m_latency;
    quint64 m_passes = 0;
    std::array<quint64, 3> m_passLines{}; // posted, rejected, failed
    Histogram m_passDuration;
    PassSummary m_lastPass;
    QDateTime m_lastPassAt;
};
