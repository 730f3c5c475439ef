#include "download/downloadcycle.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/crashpoint.h"
#include "app/errorcatalogue.h"
#include "app/eventwait.h"
#include "app/operatorreport.h"
#include "database/databasesession.h"
#include "spool/legacypass.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalcommands.h"
#include "terminal/terminalregistry.h"

#include <QDir>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr QChar StartOfText(2);
constexpr QChar EndOfText(3);
constexpr QChar EndOfTransmission(4);

} // namespace

DownloadCycle::DownloadCycle(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
    , m_spool(QDir(with.workingDirectory).filePath(u"Scarico.db"_s))
    , m_files(with.workingDirectory)
    , m_posting({with.session, with.check, with.posting, with.registry, with.log, with.report,
                 with.clock},
                m_spool, m_files)
{
    Timer3.setInterval(m_with.wait.scaled(IdleInterval));
    m_transferTimeout.setSingleShot(true);
    m_transferTimeout.setInterval(m_with.wait.scaled(TransferTimeout));
    connect(&Timer3, &QTimer::timeout, this, &DownloadCycle::Timer3Tick);
    connect(&m_transferTimeout, &QTimer::timeout, this,
            [this] { abortTransfer(u"nessuna risposta entro il tempo limite"_s); });
    // A terminal whose link drops in the middle of its transfer keeps its file.
    connect(&m_with.control, &NetworkControl::OnStateChange, this,
            [this](qint16 State, const QString&, qint16 NumTer) {
                const TerminalRegistry& registry = m_with.registry;
                if (State == 0 && registry.InScarico && registry.TermInScarico == NumTer)
                    abortTransfer(u"collegamento caduto"_s);
            });
    connect(&m_posting, &PassPosting::finished, this, [this](const PassSummary& summary) {
        resumeScheduler();
        Q_EMIT passPosted(summary);
    });
    connect(&m_posting, &PassPosting::held, this, [this](const Error& error) {
        resumeScheduler();
        Q_EMIT postingHeld(error);
    });
    connect(&m_posting, &PassPosting::spoolFailed, this, [this](const Error& error) {
        spoolFault(error);
        resumeScheduler();
    });
}

void DownloadCycle::start()
{
    m_with.registry.IndicePorta = 0;
    Timer3.start();
    if (!openSpool())
        return;
    Error error;
    m_posting.probe(error);
    qint64 unposted = 0;
    for (const Spool::State state :
         {Spool::State::Pending, Spool::State::Committing, Spool::State::JournalDue}) {
        qint64 count = 0;
        if (m_spool.count(state, count, error))
            unposted += count;
    }
    if (unposted > 0) {
        m_with.log.LogFile(u"Scarico interrotto: registrazione dei transiti raccolti"_s);
        beginPosting();
    }
}

// The spool is opened at start-up, and again at each tick after a fault.
// A spool made new takes in what an earlier version left in its files.
bool DownloadCycle::openSpool()
{
    qsizetype taken = 0;
    const auto legacy = [this, &taken] {
        DatabaseSession& session = m_with.session;
        Spool::Legacy found = LegacyPass::read(m_with.workingDirectory, [&session](int token) {
            const qint64 mark = session.legacyPostedMark(token);
            session.Close_DB();
            return mark;
        });
        taken = found.pending.size();
        return found;
    };
    bool created = false;
    Error error;
    if (!m_spool.open(legacy, created, error)) {
        spoolFault(error);
        return false;
    }
    if (created)
        CrashPoint::reach("migration-committed");
    // Taken in when the spool was made: never again, even into a spool made anew.
    LegacyPass::removeFiles(m_with.workingDirectory);
    if (taken > 0)
        m_with.log.LogFile(
            u"Scarico: %1 transiti raccolti da una versione precedente presi in Scarico.db"_s.arg(
                taken));
    if (std::exchange(m_spoolFault, false)) {
        m_with.log.LogFile(
            u"Scarico: Scarico.db di nuovo utilizzabile, scarico dei terminali ripreso"_s);
        Q_EMIT spoolChanged(Error());
    }
    return true;
}

void DownloadCycle::spoolFault(const Error& error)
{
    if (!std::exchange(m_spoolFault, true)) {
        m_with.report.reportError(
            u"Scarico: "_s + ErrorCatalogue::text(error) +
            u": Scarico.db non utilizzabile, scarico dei terminali sospeso"_s);
        Q_EMIT spoolChanged(error);
    }
    m_spool.close();
}

bool DownloadCycle::spoolLines(QMap<Spool::State, qint64>& counts)
{
    Error error;
    return !m_spoolFault && m_spool.countByState(counts, error);
}

void DownloadCycle::hold()
{
    Timer3.stop();
}

void DownloadCycle::resume()
{
    if (!m_posting.isPosting() && !m_with.registry.InScarico)
        Timer3.start();
}

void DownloadCycle::retryFailed()
{
    Error error;
    if (m_spoolFault || !m_posting.retryFailed(error)) {
        if (!m_spoolFault)
            spoolFault(error);
        return;
    }
    const TerminalRegistry& registry = m_with.registry;
    if (registry.TermGiro == 0 && !registry.InScarico && !m_posting.isPosting())
        beginPosting();
}

void DownloadCycle::Timer3Tick()
{
    if (m_spoolFault && !openSpool())
        return;
    TerminalRegistry& registry = m_with.registry;
    // A held posting is tried again between passes; collection goes on meanwhile.
    if (m_posting.isHeld() && registry.TermGiro == 0 && !registry.InScarico) {
        beginPosting();
        if (m_posting.isPosting())
            return;
    }
    const QStringList& ports = registry.Lst_Port();
    if (Basic::Trim(ports.value(registry.IndicePorta)).isEmpty())
        registry.IndicePorta = 0;
    const QString entry = Basic::Trim(ports.value(registry.IndicePorta));
    if (entry.isEmpty())
        return;
    const TerminalRegistry::PortEntry port = TerminalRegistry::readPortEntry(entry);
    ++registry.IndicePorta;
    m_with.commands.CercaFile(port.number, port.address);
}

void DownloadCycle::directoryReply(const ReceivedMessage& message)
{
    TerminalRegistry& registry = m_with.registry;
    // No new pass while a posting runs, nor while the spool cannot store one.
    if (m_posting.isPosting() || m_spoolFault)
        return;
    const qint16 n = message.NumTer;
    // A late answer to an earlier question: one transfer at a time, and the
    // scheduler asks this terminal again later.
    if (registry.InScarico) {
        m_with.log.LogFile(
            u"Scarico terminale %1: \"%2\" giunto durante il trasferimento del terminale %3: "
            "ignorato"_s.arg(n)
                .arg(message.text)
                .arg(registry.TermInScarico));
        return;
    }
    if (message.text == u"DIR PASSAGGI ?*"_s) {
        if (registry.TermGiro == 0)
            return;
        registry.TermRisposta = n;
        if (registry.TermGiro != registry.TermRisposta)
            return;
    }
    Timer3.stop();
    if (registry.TermGiro == 0) {
        registry.TermRisposta = 0;
        registry.TermGiro = n;
        registry.GiroInCorso = true;
        Timer3.setInterval(m_with.wait.scaled(PassInterval));
        m_files.startCollecting();
    } else {
        registry.TermRisposta = n;
    }
    if (registry.TermGiro == registry.TermRisposta)
        return endPass();
    beginTransfer(n, message.IPTer);
}

void DownloadCycle::beginTransfer(qint16 number, const QString& address)
{
    TerminalRegistry& registry = m_with.registry;
    registry.InScarico = true;
    registry.TermInScarico = number;
    registry.ContaRecord[number] = 0;
    m_transferAddress = address;
    m_stage = Stage::Listing;
    m_listing.clear();
    m_transferTimeout.start();
    m_with.commands.Blocca(number, address);
}

void DownloadCycle::transferMessage(const ReceivedMessage& message)
{
    TerminalRegistry& registry = m_with.registry;
    const QString& m = message.text;
    const qint16 n = message.NumTer;
    const QString trimmed = Basic::Trim(m);
    m_transferTimeout.start();
    if (Basic::Left(trimmed, 8) == u"CONSIDLE"_s) {
        registry.InScarico = true;
        registry.TermInScarico = n;
        registry.ContaRecord[n] = 0;
        m_stage = Stage::Listing;
        m_listing.clear();
        m_with.commands.Scarico(n, message.IPTer);
    } else if (Basic::Left(trimmed, 4) == u"TYPE"_s) {
        if (m == u"TYPE PASSAGGI ?*"_s) {
            m_stage = Stage::Discarded;
            m_with.commands.Sblocca(n, message.IPTer);
        }
    } else if (m.startsWith(StartOfText)) {
        // The terminal counts every record it sends, so a short one counts too.
        ++registry.ContaRecord[n];
        m_listing.append({n, message.IPTer, m});
    } else if (m.startsWith(EndOfTransmission)) {
        endOfListing(n, message.IPTer, m);
    } else if (Basic::Left(trimmed, 3) == u"DEL"_s) {
        Error error;
        if (m_stage == Stage::Deleting) {
            // Its records are no longer on the terminal: a new listing is all new.
            if (!m_spool.confirmDeletion(n, error))
                spoolFault(error);
            CrashPoint::reach("deletion-confirmed");
            m_stage = Stage::Deleted;
        }
        m_with.commands.Sblocca(n, message.IPTer);
    } else if (Basic::Left(trimmed, 7) == u"OFFLINE"_s) {
        if (registry.RecordRicevuti == registry.RecordAttesi) {
            registry.RecordRicevuti = 0;
            registry.RecordAttesi = 0;
        }
        finishTransfer();
    }
}

// The terminal deletes its file only after its listing is committed here.
void DownloadCycle::endOfListing(qint16 n, const QString& address, const QString& m)
{
    TerminalRegistry& registry = m_with.registry;
    registry.RecordAttesi = Basic::Val(Basic::Mid(m, 2));
    registry.RecordRicevuti = static_cast<qint16>(registry.ContaRecord[n]);
    Error error;
    if (registry.RecordAttesi != registry.RecordRicevuti) {
        m_with.log.LogFile(
            u"Scarico terminale %1: annunciati %2 record, ricevuti %3: il file resta sul terminale"_s
                .arg(n)
                .arg(registry.RecordAttesi)
                .arg(registry.RecordRicevuti));
    } else if (!storeListing(n, error)) {
        m_with.log.LogFile(u"Scarico terminale %1: "_s.arg(n) + ErrorCatalogue::text(error) +
                           u": il file resta sul terminale"_s);
        spoolFault(error);
    } else {
        m_stage = Stage::Deleting;
        m_with.commands.Cancella(n, address);
        return;
    }
    m_stage = Stage::Discarded;
    m_with.commands.Sblocca(n, address);
}

bool DownloadCycle::storeListing(qint16 n, Error& error)
{
    qsizetype known = 0;
    if (!m_spool.alreadyCollected(n, m_listing, known, error))
        return false;
    QList<CollectedTransit> lines;
    QList<QByteArray> setAside;
    for (qsizetype i = known; i < m_listing.size(); ++i) {
        const QString& m = m_listing[i].record;
        // A record of another length, or one a double quote would cut in the
        // line format, cannot be posted: it is kept aside, never lost.
        if (m.endsWith(EndOfText) && m.size() == 34 && !m.contains(u'"'))
            lines.append(m_listing[i]);
        else
            setAside.append(PassFiles::setAsideLine(m_listing[i]));
    }
    if (!m_spool.storeListing(n, m_listing, known, lines, setAside, m_files.setAsideOffset(),
                              error))
        return false;
    if (known > 0)
        m_with.log.LogFile(
            u"Scarico terminale %1: %2 record già raccolti prima di un'interruzione: non raccolti di nuovo"_s
                .arg(n)
                .arg(known));
    m_files.appendCollected(lines);
    Error unwritten;
    if (!m_files.writeSetAside(m_spool, unwritten))
        m_with.log.LogFile(u"Scarico: "_s + ErrorCatalogue::text(unwritten) +
                           u": ScaricoScartati.txt non scritto"_s);
    for (qsizetype i = 0; i < setAside.size(); ++i)
        m_with.log.LogFile(u"Scarico terminale "_s + QString::number(n) +
                           u": record non valido messo da parte in ScaricoScartati.txt"_s);
    CrashPoint::reach("listing-stored");
    return true;
}

void DownloadCycle::abortTransfer(const QString& reason)
{
    TerminalRegistry& registry = m_with.registry;
    if (!registry.InScarico)
        return;
    const qint16 n = static_cast<qint16>(registry.TermInScarico);
    QString kept = u"elenco scartato, il file resta sul terminale"_s;
    if (m_stage == Stage::Deleting)
        kept = u"elenco conservato, cancellazione non confermata: i suoi record non saranno "
               "raccolti di nuovo"_s;
    else if (m_stage == Stage::Deleted)
        kept = u"elenco conservato e file cancellato, sblocco non confermato"_s;
    m_with.log.LogFile(u"Scarico terminale %1: %2: %3"_s.arg(n).arg(reason, kept));
    m_listing.clear();
    m_with.commands.Sblocca(n, m_transferAddress);
    registry.RecordAttesi = 0;
    registry.RecordRicevuti = 0;
    finishTransfer();
}

void DownloadCycle::finishTransfer()
{
    TerminalRegistry& registry = m_with.registry;
    registry.TermInScarico = 0;
    registry.InScarico = false;
    m_transferTimeout.stop();
    Timer3.start();
}

void DownloadCycle::endPass()
{
    TerminalRegistry& registry = m_with.registry;
    registry.TermGiro = 0;
    registry.TermRisposta = 0;
    registry.GiroInCorso = false;
    Timer3.setInterval(m_with.wait.scaled(IdleInterval));
    beginPosting();
}

void DownloadCycle::beginPosting()
{
    Timer3.stop();
    m_posting.begin();
}

void DownloadCycle::resumeScheduler()
{
    Timer3.setInterval(m_with.wait.scaled(IdleInterval));
    Timer3.start();
}
