#include "terminal/downloadcycle.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/eventwait.h"
#include "app/server.h"
#include "live/badgecheck.h"
#include "live/databasesession.h"
#include "posting/transitposting.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminalcommands.h"
#include "terminal/terminalregistry.h"

#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr QChar StartOfText(2);
constexpr QChar EndOfText(3);
constexpr QChar EndOfTransmission(4);

} // namespace

DownloadCycle::DownloadCycle(ParvixServer& server, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_files(server.workingDirectory())
{
    Timer3.setInterval(m_server.wait().scaled(IdleInterval));
    m_transferTimeout.setSingleShot(true);
    m_transferTimeout.setInterval(m_server.wait().scaled(TransferTimeout));
    connect(&Timer3, &QTimer::timeout, this, &DownloadCycle::Timer3Tick);
    connect(&m_transferTimeout, &QTimer::timeout, this,
            [this] { abortTransfer(u"nessuna risposta entro il tempo limite"_s); });
    connect(&m_server.dispatch(), &MessageDispatch::directoryReply, this,
            &DownloadCycle::directoryReply);
    connect(&m_server.dispatch(), &MessageDispatch::transferMessage, this,
            &DownloadCycle::transferMessage);
    // A terminal whose link drops in the middle of its transfer keeps its file.
    connect(&m_server.control(), &NetworkControl::OnStateChange, this,
            [this](qint16 State, const QString&, qint16 NumTer) {
                const TerminalRegistry& registry = m_server.registry();
                if (State == 0 && registry.InScarico && registry.TermInScarico == NumTer)
                    abortTransfer(u"collegamento caduto"_s);
            });
}

void DownloadCycle::start()
{
    m_server.registry().IndicePorta = 0;
    m_files.settleListing();
    if (m_files.postingPending() || m_files.hasCollected()) {
        m_server.log().LogFile(u"Scarico interrotto: registrazione dei transiti raccolti"_s);
        beginPosting();
        return;
    }
    Timer3.start();
}

void DownloadCycle::hold()
{
    Timer3.stop();
}

void DownloadCycle::resume()
{
    if (!m_posting && !m_server.registry().InScarico)
        Timer3.start();
}

void DownloadCycle::Timer3Tick()
{
    TerminalRegistry& registry = m_server.registry();
    const QStringList& ports = registry.Lst_Port();
    if (Basic::Trim(ports.value(registry.IndicePorta)).isEmpty())
        registry.IndicePorta = 0;
    const QString entry = Basic::Trim(ports.value(registry.IndicePorta));
    if (entry.isEmpty())
        return;
    const TerminalRegistry::PortEntry port = TerminalRegistry::readPortEntry(entry);
    ++registry.IndicePorta;
    m_server.commands().CercaFile(port.number, port.address);
}

void DownloadCycle::directoryReply(const ReceivedMessage& message)
{
    TerminalRegistry& registry = m_server.registry();
    // The posting of a pass runs in slices: no new pass until it is done.
    if (m_posting)
        return;
    const qint16 n = message.NumTer;
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
        Timer3.setInterval(m_server.wait().scaled(PassInterval));
    } else {
        registry.TermRisposta = n;
    }
    if (registry.TermGiro == registry.TermRisposta)
        return endPass();
    beginTransfer(n, message.IPTer);
}

void DownloadCycle::beginTransfer(qint16 number, const QString& address)
{
    TerminalRegistry& registry = m_server.registry();
    registry.InScarico = true;
    registry.TermInScarico = number;
    registry.ContaRecord[number] = 0;
    m_transferAddress = address;
    m_listing.clear();
    m_transferTimeout.start();
    m_server.commands().Blocca(number, address);
}

void DownloadCycle::transferMessage(const ReceivedMessage& message)
{
    TerminalRegistry& registry = m_server.registry();
    const QString& m = message.text;
    const qint16 n = message.NumTer;
    const QString trimmed = Basic::Trim(m);
    m_transferTimeout.start();
    if (Basic::Left(trimmed, 8) == u"CONSIDLE"_s) {
        registry.InScarico = true;
        registry.TermInScarico = n;
        registry.ContaRecord[n] = 0;
        m_listing.clear();
        m_server.commands().Scarico(n, message.IPTer);
    } else if (Basic::Left(trimmed, 4) == u"TYPE"_s) {
        if (m == u"TYPE PASSAGGI ?*"_s) {
            m_listing.clear();
            m_server.commands().Sblocca(n, message.IPTer);
        }
    } else if (m.startsWith(StartOfText)) {
        // The terminal counts every record it sends, so a short one counts too.
        ++registry.ContaRecord[n];
        const CollectedTransit transit{n, message.IPTer, m};
        if (m.endsWith(EndOfText) && m.size() == 34 && !m.contains(u'"')) {
            m_listing.append(transit);
        } else {
            m_files.keepRejected(transit);
            m_server.log().LogFile(u"Scarico terminale "_s + QString::number(n) +
                                   u": record non valido messo da parte in ScaricoScartati.txt"_s);
        }
    } else if (m.startsWith(EndOfTransmission)) {
        endOfListing(n, message.IPTer, m);
    } else if (Basic::Left(trimmed, 3) == u"DEL"_s) {
        m_files.clearAwaitingDeletion();
        m_server.commands().Sblocca(n, message.IPTer);
    } else if (Basic::Left(trimmed, 7) == u"OFFLINE"_s) {
        if (registry.RecordRicevuti == registry.RecordAttesi) {
            registry.RecordRicevuti = 0;
            registry.RecordAttesi = 0;
        }
        finishTransfer();
    }
}

// The terminal deletes its file only after its records are on disk here.
void DownloadCycle::endOfListing(qint16 n, const QString& address, const QString& m)
{
    TerminalRegistry& registry = m_server.registry();
    registry.RecordAttesi = Basic::Val(Basic::Mid(m, 2));
    registry.RecordRicevuti = static_cast<qint16>(registry.ContaRecord[n]);
    Error error;
    if (registry.RecordAttesi != registry.RecordRicevuti) {
        m_server.log().LogFile(
            u"Scarico terminale %1: annunciati %2 record, ricevuti %3: il file resta sul terminale"_s
                .arg(n)
                .arg(registry.RecordAttesi)
                .arg(registry.RecordRicevuti));
    } else if (!storeListing(n, error)) {
        m_server.log().LogFile(
            u"Scarico terminale %1: Errore #%2 verificato: %3: il file resta sul terminale"_s.arg(n)
                .arg(error.number)
                .arg(error.description));
    } else {
        m_listing.clear();
        m_server.commands().Cancella(n, address);
        return;
    }
    m_listing.clear();
    m_server.commands().Sblocca(n, address);
}

bool DownloadCycle::storeListing(qint16 n, Error& error)
{
    const qsizetype known = m_files.alreadyCollected(m_listing);
    if (known > 0)
        m_server.log().LogFile(
            u"Scarico terminale %1: %2 record già raccolti prima di un'interruzione: non raccolti di nuovo"_s
                .arg(n)
                .arg(known));
    if (known == m_listing.size())
        return true; // nothing new: the kept listing still stands for the file
    // Without the note a stop before the deletion could collect these
    // records twice; the terminal still deletes its file, as before.
    Error unrecorded;
    const bool noted = m_files.noteListing(m_listing, unrecorded);
    if (!noted)
        m_server.log().LogFile(
            u"Scarico terminale %1: Errore #%2 verificato: %3: ScaricoInCancellazione.txt non scritto"_s
                .arg(n)
                .arg(unrecorded.number)
                .arg(unrecorded.description));
    if (!m_files.append(m_listing.mid(known), error)) {
        m_files.discardNotedListing();
        return false;
    }
    if (noted)
        m_files.confirmListing();
    return true;
}

void DownloadCycle::abortTransfer(const QString& reason)
{
    TerminalRegistry& registry = m_server.registry();
    if (!registry.InScarico)
        return;
    const qint16 n = static_cast<qint16>(registry.TermInScarico);
    m_server.log().LogFile(
        u"Scarico terminale %1: %2: elenco scartato, il file resta sul terminale"_s.arg(n).arg(
            reason));
    m_listing.clear();
    m_server.commands().Sblocca(n, m_transferAddress);
    registry.RecordAttesi = 0;
    registry.RecordRicevuti = 0;
    finishTransfer();
}

void DownloadCycle::finishTransfer()
{
    TerminalRegistry& registry = m_server.registry();
    registry.TermInScarico = 0;
    registry.InScarico = false;
    m_transferTimeout.stop();
    Timer3.start();
}

void DownloadCycle::endPass()
{
    TerminalRegistry& registry = m_server.registry();
    registry.TermGiro = 0;
    registry.TermRisposta = 0;
    registry.GiroInCorso = false;
    Timer3.setInterval(m_server.wait().scaled(IdleInterval));
    beginPosting();
}

// A pass is posted from ScaricoOK.txt, its progress kept on disk line by
// line, so a stop or a crash resumes after the last line posted.
void DownloadCycle::beginPosting()
{
    Error error;
    if (!m_files.postingPending() && !m_files.startPosting(error)) {
        m_server.log().LogFile(
            u"Scarico: Errore #%1 verificato: %2: i transiti restano in Scarico.txt"_s
                .arg(error.number)
                .arg(error.description));
        return resumeScheduler();
    }
    if (!m_files.openPass(error)) {
        m_server.log().LogFile(
            u"Scarico: Errore #%1 verificato: %2: ScaricoOK.txt non letto"_s.arg(error.number)
                .arg(error.description));
        return resumeScheduler();
    }
    m_posted = 0;
    const qint64 recorded = m_files.progress();
    CollectedTransit posted;
    while (m_posted < recorded && m_files.nextInPass(posted))
        ++m_posted;
    // The line in flight at a crash may have committed after its progress
    // record was due: the database says so where it can.
    m_token = m_files.token();
    DatabaseSession& session = m_server.session();
    if (session.isEmbedded()) {
        session.Open_DB();
        const bool committed = session.postedMark(m_token) == m_posted + 1;
        session.Close_DB();
        if (committed && m_files.nextInPass(posted))
            ++m_posted;
    }
    m_posting = true;
    postSlice();
}

void DownloadCycle::postSlice()
{
    CollectedTransit line;
    bool more = true;
    QElapsedTimer slice;
    slice.start();
    do {
        if ((more = m_files.nextInPass(line)))
            postLine(line, ++m_posted);
    } while (more && slice.elapsed() < SliceMs);
    if (more) {
        // Back to the event loop: live reads are served between slices.
        QTimer::singleShot(0, this, &DownloadCycle::postSlice);
        return;
    }
    m_files.finishPosting();
    m_posting = false;
    resumeScheduler();
    Q_EMIT passPosted();
}

// One stored transit: checked and posted in one database transaction, so a
// crash in its middle leaves nothing of it; its line is recorded as posted
// right after the commit. No confirmation is sent.
void DownloadCycle::postLine(const CollectedTransit& line, qint64 number)
{
    TerminalRegistry& registry = m_server.registry();
    registry.NumRicevuto = line.NumTer;
    registry.IPRicevuto = line.IPTer;
    registry.RecordTransito = line.record;
    registry.CodiceFunzione = Basic::Mid(line.record, 18, 2);
    const TransitRead read{static_cast<qint16>(line.NumTer), line.IPTer, line.record,
                           registry.CodiceFunzione};
    TransitContext context;
    DatabaseSession& session = m_server.session();
    session.Open_DB();
    session.begin();
    m_server.check().Controlla(read, context);
    if (registry.BadgeErrato == 0)
        m_server.posting().CalcolaMov(read, context);
    session.markPosted(m_token, number);
    session.commit();
    m_files.setProgress(number);
    session.Close_DB();
}

void DownloadCycle::resumeScheduler()
{
    Timer3.setInterval(m_server.wait().scaled(IdleInterval));
    Timer3.start();
}
