#include "server/server.h"

#include "app/basictext.h"
#include "app/datedline.h"
#include "app/errorcatalogue.h"
#include "app/eventwait.h"
#include "app/settingsfiles.h"
#include "app/switches.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalregistry.h"
#include "version.h"

#include <QDir>

using namespace Qt::StringLiterals;

ParvixServer::ParvixServer(const Environment& environment, QObject* parent)
    : QObject(parent)
    , m_env(environment)
    , m_log(environment.clock, environment.switches)
    , m_report(m_log, environment.switches)
    , m_portStatus(environment.clock)
    , m_title(QString::fromLatin1(DesignTitle))
    , m_commands(environment.registry, environment.control, environment.wait)
    , m_connections({environment.registry, environment.control, m_commands, m_portStatus, m_report,
                     m_settings, environment.wait})
    , m_dispatch({environment.registry, environment.control, m_connections, m_log, m_report,
                  environment.switches})
    , m_session(m_log)
    , m_check({environment.registry, m_commands, m_session, m_log, m_settings, environment.wait})
    , m_posting(m_log, m_session, m_settings, environment.clock, environment.workingDirectory)
    , m_confirmation(environment.registry, m_commands, m_log, m_settings)
    , m_liveReads({m_session, m_check, m_posting, m_confirmation, environment.registry})
    , m_download({environment.registry, environment.control, m_commands, m_session, m_check,
                  m_posting, m_log, m_report, environment.clock, environment.wait,
                  environment.workingDirectory})
    , m_health({m_report, environment.clock, environment.wait, m_settings,
                environment.registry.table, environment.control, m_session, m_download,
                environment.workingDirectory})
    , m_metrics({environment.clock, m_liveReads, m_download, m_health, environment.control})
{
    connect(&m_dispatch, &MessageDispatch::liveRead, &m_liveReads, &LiveReadRoad::handle);
    connect(&m_dispatch, &MessageDispatch::directoryReply, &m_download,
            &DownloadCycle::directoryReply);
    connect(&m_dispatch, &MessageDispatch::transferMessage, &m_download,
            &DownloadCycle::transferMessage);
    // Until the workspace names the log folder, lines go to the working directory.
    m_log.setLocation(m_env.workingDirectory, QString());
    m_portStatus.setLocation(m_env.workingDirectory, QString());
    connect(&m_env.control, &NetworkControl::report, this,
            [this](const QString& text) { m_log.LogFile(text); });
    connect(&m_env.control, &NetworkControl::failure, &m_report, &OperatorReport::reportError);
}

bool ParvixServer::start()
{
    Error error;
    FaseAvvio = u"Apertura Workspace"_s;
    if (!SettingsFiles::readWorkspace(inWorkingDirectory(SettingsFiles::WorkspacePath), m_settings,
                                      error))
        return failStartup(error);
    m_log.setLocation(m_env.workingDirectory, m_settings.CartellaRegistro);
    m_portStatus.setLocation(m_env.workingDirectory, m_settings.CartellaRegistro);

    // The server address is for display only: any failure leaves it to the network.
    FaseAvvio = u"ParvixSrv.set"_s;
    m_settings.IPLocale =
        SettingsFiles::readServerAddress(inWorkingDirectory(SettingsFiles::ServerAddressPath));
    m_env.control.StartService();
    if (m_settings.IPLocale.isEmpty())
        m_env.control.LocalAddress(m_settings.IPLocale);
    m_addressLabels = m_settings.IPLocale.split(u'.');
    if (m_addressLabels.size() > 4)
        return failStartup(ErrorCatalogue::make(ErrorNumber::ControlArrayElementMissing));
    Q_EMIT addressLabelsChanged(m_addressLabels);

    FaseAvvio = u"ParvixIP.set"_s;
    if (!readCreatingDefault(
            inWorkingDirectory(SettingsFiles::TerminalCountPath),
            [this](const QString& path, Error& e) {
                return SettingsFiles::readTerminalCount(path, m_settings, e);
            },
            &SettingsFiles::createDefaultTerminalCount))
        return false;
    // The full title as soon as it is known, before the window first shows.
    m_title = buildTitle();
    Q_EMIT titleChanged(m_title);

    FaseAvvio = u"Apertura Connect Sql"_s;
    if (!SettingsFiles::readConnection(inWorkingDirectory(SettingsFiles::ConnectionPath),
                                       m_settings, error))
        return failStartup(error);
    m_session.configure(m_settings.StringaConn, m_env.workingDirectory);
    // Like the time-outs of Connection.set, not shortened by --time-scale:
    // shorter, every read would wait on a dead link in turn.
    m_session.setRetryInterval(RetryInterval);

    FaseAvvio = u"Apertura OreDat"_s;
    const QString ore = DatedLine::inFolder(m_env.workingDirectory, m_settings.CartellaOre,
                                            QString(SettingsFiles::OreFileName));
    if (!SettingsFiles::readOre(ore, m_settings, error))
        return failStartup(error);

    m_settings.NumFiliale = 0;
    FaseAvvio = u"Apertura Filiale"_s;
    if (!SettingsFiles::readBranch(inWorkingDirectory(SettingsFiles::BranchPath), m_settings,
                                   error))
        return failStartup(error);

    FaseAvvio = u"ParvixHost.set"_s;
    if (!readCreatingDefault(
            inWorkingDirectory(SettingsFiles::TerminalTablePath),
            [this](const QString& path, Error& e) { return m_env.registry.table.read(path, e); },
            &SettingsFiles::createDefaultTerminalTable))
        return false;

    m_connections.Collega();
    m_env.wait.Pausa(1.0, this, [this] { finishStartup(); });
    return true;
}

// Terminals may connect and talk during the one-second wait before this.
void ParvixServer::finishStartup()
{
    m_connections.startReconnection();
    m_download.start();
    m_connections.startFirstReconnect();
    m_health.start();
    Q_EMIT started();
}

bool ParvixServer::openEndpoint(const QHostAddress& address, quint16 port)
{
    auto endpoint = std::make_unique<HttpEndpoint>(
        [this](const QByteArray& path) { return m_metrics.answer(path); });
    QString error;
    if (!endpoint->listen(address, port, error)) {
        m_report.reportError(
            u"Monitoraggio non avviato su %1:%2: "_s.arg(address.toString()).arg(port) + error);
        return false;
    }
    m_endpoint = std::move(endpoint);
    const QString text = u"Monitoraggio su http://%1:%2/metrics e /health"_s.arg(address.toString())
                             .arg(m_endpoint->port());
    m_log.LogFile(text);
    m_report.addMessage(text);
    return true;
}

void ParvixServer::shutdown()
{
    m_env.control.StopService();
}

bool ParvixServer::stopListening()
{
    return m_env.control.StopService() == NetworkControl::AlreadyStopped;
}

void ParvixServer::startListening()
{
    m_env.control.StartService();
    if (m_settings.IPLocale.isEmpty())
        m_env.control.LocalAddress(m_settings.IPLocale);
    m_addressLabels = m_settings.IPLocale.split(u'.').mid(0, 4);
    Q_EMIT addressLabelsChanged(m_addressLabels);
}

void ParvixServer::holdTimers()
{
    m_download.hold();
    m_connections.holdReconnection();
}

void ParvixServer::resumeTimers()
{
    m_download.resume();
    m_connections.resumeReconnection();
}

QString ParvixServer::terminalTablePath() const
{
    return inWorkingDirectory(SettingsFiles::TerminalTablePath);
}

bool ParvixServer::saveTerminalRows(const SettingsFiles::TerminalRows& rows, Error& error)
{
    if (!SettingsFiles::writeTerminalRows(terminalTablePath(), rows, m_settings.NumTerminali,
                                          error))
        return false;
    m_env.registry.table.read(terminalTablePath(), error);
    return true;
}

// The start-up error text; the program ends without stopping the service.
bool ParvixServer::failStartup(const Error& error)
{
    m_startupFailure = u"Errore #"_s + FaseAvvio + u' ' + Basic::Str(error.number) +
                       u" verificato: "_s + error.description;
    m_log.LogFile(m_startupFailure);
    return false;
}

// A missing terminal count or terminal table is created with its defaults and
// read again; any other failure, including a failed creation, ends start-up.
bool ParvixServer::readCreatingDefault(const QString& path,
                                       const std::function<bool(const QString&, Error&)>& read,
                                       bool (*create)(const QString&, Error&))
{
    Error error;
    if (read(path, error))
        return true;
    if (error.number != ErrorNumber::FileNotFound)
        return failStartup(error);
    error = Error();
    if (!create(path, error) || !read(path, error))
        return failStartup(error);
    return true;
}

QString ParvixServer::inWorkingDirectory(QLatin1StringView relativePath) const
{
    return QDir(m_env.workingDirectory).filePath(QString(relativePath));
}

QString ParvixServer::buildTitle() const
{
    return QString::fromLatin1(DesignTitle) + u" Rev. "_s + QString::number(Version::Revision) +
           u" - "_s + QString::number(m_settings.NumTerminali) +
           (m_settings.NumTerminali == 1 ? u" porta"_s : u" porte"_s);
}
