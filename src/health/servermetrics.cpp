#include "health/servermetrics.h"

#include "app/clock.h"
#include "download/downloadcycle.h"
#include "health/healthmonitor.h"
#include "platform/platform.h"
#include "terminal/netctl/networkcontrol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

const char* const Outcomes[] = {"confirmed", "rejected", "failed"};
const char* const LineOutcomes[] = {"posted", "rejected", "failed"};
// By the spool's state numbers.
const char* const SpoolStates[] = {"pending",  "committing", "journal_due", "posted",
                                   "rejected", "failed",     "uncertain"};

QByteArray label(const char* name, const char* value)
{
    return QByteArray(name) + "=\"" + value + '"';
}

QJsonValue time(const QDateTime& at)
{
    return at.isValid() ? QJsonValue(at.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

} // namespace

ServerMetrics::ServerMetrics(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
    , m_started(with.clock.now())
    , m_latency({0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10})
    , m_passDuration({0.1, 0.5, 1, 5, 10, 30, 60, 300, 900})
{
    connect(&with.liveReads, &LiveReadRoad::handled, this, &ServerMetrics::readHandled);
    connect(&with.download, &DownloadCycle::passPosted, this, &ServerMetrics::passPosted);
}

void ServerMetrics::readHandled(LiveReadRoad::Outcome outcome, double seconds)
{
    ++m_reads[size_t(outcome)];
    if (outcome == LiveReadRoad::Outcome::Confirmed)
        m_latency.observe(seconds);
}

// Posting runs that found nothing to post are not passes.
void ServerMetrics::passPosted(const PassSummary& summary)
{
    if (summary.lines() == 0)
        return;
    ++m_passes;
    m_passLines[0] += summary.posted;
    m_passLines[1] += summary.rejected;
    m_passLines[2] += summary.failed;
    m_passDuration.observe(double(summary.milliseconds) / 1000);
    m_lastPass = summary;
    m_lastPassAt = m_with.clock.now();
}

QByteArray ServerMetrics::exposition()
{
    Exposition out;
    out.family("parvix_live_reads_total", "counter",
               "Live reads handled, by outcome (rejected: answered with a display text).");
    for (size_t i = 0; i < m_reads.size(); ++i)
        out.sample("parvix_live_reads_total", double(m_reads[i]), label("outcome", Outcomes[i]));
    m_latency.write(out, "parvix_confirmation_latency_seconds",
                    "Time from a live read to its confirmation.");

    const LinkWatch& links = m_with.health.links();
    out.family("parvix_terminals_configured", "gauge", "Terminals the server calls.");
    out.sample("parvix_terminals_configured", links.configured());
    out.family("parvix_terminals_linked", "gauge", "Terminals the server calls that hold a link.");
    out.sample("parvix_terminals_linked", links.linked());
    out.family("parvix_terminal_port_listening", "gauge",
               "1 when terminals can call in, 0 when the port is not held.");
    out.sample("parvix_terminal_port_listening", m_with.control.isListening() ? 1 : 0);

    out.family("parvix_download_passes_total", "counter", "Download passes posted.");
    out.sample("parvix_download_passes_total", double(m_passes));
    out.family("parvix_download_lines_total", "counter",
               "Stored transits of download passes, by outcome.");
    for (size_t i = 0; i < m_passLines.size(); ++i)
        out.sample("parvix_download_lines_total", double(m_passLines[i]),
                   label("outcome", LineOutcomes[i]));
    m_passDuration.write(out, "parvix_download_pass_duration_seconds",
                         "Time the posting of a download pass took.");
    out.family("parvix_download_last_pass_timestamp_seconds", "gauge",
               "When the last download pass was posted.");
    if (m_lastPassAt.isValid())
        out.sample("parvix_download_last_pass_timestamp_seconds",
                   double(m_lastPassAt.toSecsSinceEpoch()));

    out.family("parvix_spool_lines", "gauge", "Lines in Scarico.db, by state.");
    QMap<Spool::State, qint64> counts;
    if (m_with.download.spoolLines(counts)) {
        for (int state = 0; state < int(std::size(SpoolStates)); ++state)
            out.sample("parvix_spool_lines", double(counts.value(Spool::State(state))),
                       label("state", SpoolStates[state]));
    }

    const HealthMonitor& health = m_with.health;
    out.family("parvix_database_up", "gauge", "1 when the database answered its last connection.");
    out.sample("parvix_database_up", health.databaseUp() ? 1 : 0);
    out.family("parvix_database_seconds_since_success", "gauge",
               "Seconds since the database last answered.");
    if (health.lastDatabaseSuccess().isValid())
        out.sample("parvix_database_seconds_since_success",
                   double(health.lastDatabaseSuccess().msecsTo(m_with.clock.now())) / 1000);
    out.family("parvix_disk_free_bytes", "gauge",
               "Free space of the working folder's disk at the last look.");
    if (health.storage().freeBytes() >= 0)
        out.sample("parvix_disk_free_bytes", double(health.storage().freeBytes()));
    out.family("parvix_alerts_active", "gauge", "Alerts raised and not yet ended.");
    out.sample("parvix_alerts_active", double(health.alerts().raised().size()));

    out.family("process_start_time_seconds", "gauge",
               "Start time of the process since unix epoch in seconds.");
    out.sample("process_start_time_seconds", double(m_started.toSecsSinceEpoch()));
    out.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    out.sample("process_resident_memory_bytes", double(Platform::residentMemoryBytes()));
    return out.text();
}

int ServerMetrics::health(QByteArray& body)
{
    const HealthMonitor& health = m_with.health;
    const bool listening = m_with.control.isListening();
    QJsonArray reasons;
    if (!listening)
        reasons.append(u"porta dei terminali non in ascolto"_s);
    if (health.databaseAlerted())
        reasons.append(u"database non raggiungibile"_s);
    if (health.spoolAlerted())
        reasons.append(u"Scarico.db non scrivibile"_s);
    QMap<Spool::State, qint64> counts;
    const bool spoolUsable = m_with.download.spoolLines(counts);
    QJsonObject summary{
        {u"status"_s, reasons.isEmpty() ? u"ok"_s : u"unavailable"_s},
        {u"reasons"_s, reasons},
        {u"listening"_s, listening},
        {u"database"_s, QJsonObject{{u"up"_s, health.databaseUp()},
                                    {u"lastSuccess"_s, time(health.lastDatabaseSuccess())}}},
        {u"spool"_s, QJsonObject{{u"usable"_s, spoolUsable},
                                 {u"pending"_s, counts.value(Spool::State::Pending)},
                                 {u"failed"_s, counts.value(Spool::State::Failed)}}},
        {u"terminals"_s, QJsonObject{{u"configured"_s, health.links().configured()},
                                     {u"linked"_s, health.links().linked()}}},
        {u"lastPass"_s,
         m_lastPassAt.isValid()
             ? QJsonValue(QJsonObject{{u"at"_s, time(m_lastPassAt)},
                                      {u"lines"_s, m_lastPass.lines()},
                                      {u"failed"_s, m_lastPass.failed},
                                      {u"seconds"_s, double(m_lastPass.milliseconds) / 1000}})
             : QJsonValue()}};
    body = QJsonDocument(summary).toJson(QJsonDocument::Compact);
    return reasons.isEmpty() ? 200 : 503;
}

HttpEndpoint::Response ServerMetrics::answer(const QByteArray& path)
{
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", exposition()};
    if (path != "/health")
        return {404, {}, {}};
    HttpEndpoint::Response response{200, "application/json", {}};
    response.status = health(response.body);
    return response;
}
