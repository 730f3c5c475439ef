#include "health/healthmonitor.h"

#include "app/basictext.h"
#include "app/clock.h"
#include "app/datedline.h"
#include "app/errorcatalogue.h"
#include "app/eventwait.h"
#include "app/operatorreport.h"
#include "app/settings.h"
#include "database/databasesession.h"
#include "download/downloadcycle.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {
const QString DatabaseKey = u"database"_s;
const QString PostingKey = u"posting"_s;
const QString SpoolKey = u"spool"_s;
} // namespace

HealthMonitor::HealthMonitor(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
    , m_alerts(with.report, with.clock)
    , m_links(with.table, with.settings, with.control, m_alerts, with.clock)
    , m_storage(m_alerts)
{
    m_timer.setInterval(with.wait.scaled(CheckInterval));
    connect(&m_timer, &QTimer::timeout, this, &HealthMonitor::check);
    with.session.observeReachability(
        [this](bool answered, const Error& why) { databaseReached(answered, why); });
    connect(&with.download, &DownloadCycle::postingHeld, this, [this](const Error& error) {
        m_alerts.raise(PostingKey, u"registrazione degli scarichi sospesa"_s,
                       ErrorCatalogue::text(error));
    });
    connect(&with.download, &DownloadCycle::passPosted, this, &HealthMonitor::passPosted);
    connect(&with.download, &DownloadCycle::spoolChanged, this, [this](const Error& error) {
        if (error.isSet())
            m_alerts.raise(SpoolKey, u"Scarico.db non scrivibile"_s, ErrorCatalogue::text(error));
        else
            m_alerts.end(SpoolKey);
    });
}

void HealthMonitor::start()
{
    const QString path = QDir(m_with.workingDirectory).filePath(QString(AlertSettings::Path));
    Error error;
    if (!AlertSettings::read(path, m_thresholds, error))
        m_with.report.reportError(u"Errore #Allarmi.set "_s + Basic::Str(error.number) +
                                  u" verificato: "_s + error.description +
                                  u"; soglie degli allarmi predefinite"_s);
    m_links.setThreshold(m_thresholds.linkMinutes);
    m_links.start();
    const Settings& settings = m_with.settings;
    m_storage.setFolders(
        {{u"cartella del registro"_s,
          DatedLine::inFolder(m_with.workingDirectory, settings.CartellaRegistro, QString())},
         {u"cartella di backup"_s,
          DatedLine::inFolder(m_with.workingDirectory, settings.CartellaBackup, QString())}});
    m_storage.setDisk(m_with.workingDirectory, m_thresholds.freeSpaceMB);
    check();
    m_timer.start();
}

void HealthMonitor::check()
{
    m_links.check();
    m_storage.check();
}

bool HealthMonitor::databaseAlerted() const
{
    return m_alerts.isRaised(DatabaseKey) || m_alerts.isRaised(PostingKey);
}

bool HealthMonitor::spoolAlerted() const
{
    return m_alerts.isRaised(SpoolKey);
}

void HealthMonitor::databaseReached(bool answered, const Error& why)
{
    m_databaseUp = answered;
    if (!answered) {
        m_alerts.raise(DatabaseKey, u"database non raggiungibile"_s, ErrorCatalogue::text(why));
        return;
    }
    m_lastDatabaseSuccess = m_with.clock.now();
    m_alerts.end(DatabaseKey);
}

void HealthMonitor::passPosted(const PassSummary& summary)
{
    m_alerts.end(PostingKey);
    if (summary.failed > 0)
        m_alerts.event(u"scarico con %1 transiti non registrati, elencati in %2"_s.arg(
            QString::number(summary.failed), QDir::toNativeSeparators(summary.unpostedPath)));
}
