#include "download/passposting.h"

#include "app/activitylog.h"
#include "app/basictext.h"
#include "app/clock.h"
#include "app/crashpoint.h"
#include "app/errorcatalogue.h"
#include "app/operatorreport.h"
#include "database/databasesession.h"
#include "live/badgecheck.h"
#include "posting/transitposting.h"
#include "spool/appendonce.h"
#include "spool/passfiles.h"
#include "terminal/terminalregistry.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int KeepDays = 30;

} // namespace

PassPosting::PassPosting(const Collaborators& with, Spool& spool, const PassFiles& files,
                         QObject* parent)
    : QObject(parent)
    , m_with(with)
    , m_spool(spool)
    , m_files(files)
{}

bool PassPosting::probe(Error& error)
{
    return m_with.session.connect(error) && checkMarkerTable(error);
}

// On an open session: once per connection, as a site may install the table
// (or restore a database without it) while the server runs.
bool PassPosting::checkMarkerTable(Error& error)
{
    DatabaseSession& session = m_with.session;
    if (m_markerKnown && m_probedConnection == session.connectionSerial())
        return true;
    Error missing;
    const bool present =
        session.probe(u"SELECT COUNT(*) FROM ParvixScarico WHERE Chiave = ''"_s, missing);
    if (!present && (missing.unreachable || !session.answers())) {
        error = missing;
        error.unreachable = true;
        return false;
    }
    if (!present && (m_markerTable || !m_markerKnown))
        m_with.report.reportError(
            u"Tabella ParvixScarico assente: i transiti scaricati sono registrati senza "
            "contrassegno, e uno interrotto durante la registrazione va verificato a mano"_s);
    else if (present && !m_markerTable)
        m_with.log.LogFile(
            u"Tabella ParvixScarico presente: i transiti scaricati sono registrati con "
            "contrassegno"_s);
    m_markerTable = present;
    m_markerKnown = true;
    m_probedConnection = session.connectionSerial();
    return true;
}

void PassPosting::begin()
{
    if (m_posting)
        return;
    m_journalPath = m_with.posting.journalPath();
    Error error;
    const Result settled = settle(error);
    if (settled != Result::Next)
        return stop(settled, error);
    qint64 pending = 0;
    if (!m_spool.count(Spool::State::Pending, pending, error))
        return stop(Result::SpoolFault, error);
    if (pending == 0) {
        clearHold();
        Q_EMIT finished(PassSummary());
        return;
    }
    if (!m_spool.beginPass(m_journalPath, m_pass, error))
        return stop(Result::SpoolFault, error);
    Error unwritten;
    if (!m_files.writeOrdered(m_spool, unwritten))
        m_with.log.LogFile(u"Scarico: "_s + ErrorCatalogue::text(unwritten) +
                           u": ScaricoOK.txt non scritto"_s);
    CrashPoint::reach("posting-ordered");
    m_posting = true;
    m_posted = m_rejected = m_failed = 0;
    m_run.start();
    m_batch.clear();
    postSlice();
}

PassPosting::Result PassPosting::settle(Error& error)
{
    // Lines settled here keep the pass that posted them.
    m_pass = 0;
    if (!probe(error))
        return Result::Held;
    const Result resolved = resolveInFlight(error);
    if (resolved != Result::Next)
        return resolved;
    const Result journal = settleJournal(error);
    if (journal != Result::Next)
        return journal;
    Error unwritten;
    if (!m_files.writeSetAside(m_spool, unwritten))
        m_with.log.LogFile(u"Scarico: "_s + ErrorCatalogue::text(unwritten) +
                           u": ScaricoScartati.txt non scritto"_s);
    return Result::Next;
}

// A line whose site transaction was about to commit when the server
// stopped: its marker says whether it did.
PassPosting::Result PassPosting::resolveInFlight(Error& error)
{
    QList<Spool::Line> inFlight;
    if (!m_spool.lines(Spool::State::Committing, -1, inFlight, error))
        return Result::SpoolFault;
    for (const Spool::Line& line : inFlight) {
        Spool::Outcome outcome{line.id,        Spool::State::Uncertain, QString(),
                               line.journalAt, line.journalLine,        line.pass};
        if (m_markerTable) {
            bool committed = false;
            if (!markerPresent(line, committed, error))
                return Result::Held;
            outcome.state = committed ? Spool::State::JournalDue : Spool::State::Pending;
        } else {
            m_with.report.reportError(
                u"Scarico: transito in registrazione a un'interruzione, senza "
                "contrassegno per saperne l'esito: da verificare "_s +
                QString::fromLatin1(line.transit.line()).trimmed());
        }
        m_outcomes.append(outcome);
    }
    if (!flush(error))
        return Result::SpoolFault;
    if (!inFlight.isEmpty())
        CrashPoint::reach("line-resolved");
    return Result::Next;
}

// Journal lines of posted transits that may be missing: each is found in
// place or written, once.
PassPosting::Result PassPosting::settleJournal(Error& error)
{
    QList<Spool::Line> due;
    if (!m_spool.lines(Spool::State::JournalDue, -1, due, error))
        return Result::SpoolFault;
    for (const Spool::Line& line : due) {
        const QString path = line.journalPath.isEmpty() ? m_journalPath : line.journalPath;
        Error unwritten;
        if (!AppendOnce::settle(path, line.journalAt, line.journalLine, unwritten)) {
            m_with.log.LogFile(ErrorCatalogue::text(unwritten) +
                               u": %1 righe del giornale da scrivere"_s.arg(due.size()));
            break;
        }
        CrashPoint::reach("journal-settled");
        m_outcomes.append({line.id, Spool::State::Posted, QString(), 0, QByteArray()});
    }
    return flush(error) ? Result::Next : Result::SpoolFault;
}

void PassPosting::postSlice()
{
    Error error;
    if (m_batch.isEmpty()) {
        // Outcomes first: a line decided must not be read as pending again.
        if (!flush(error))
            return stop(Result::SpoolFault, error);
        CrashPoint::reach("outcomes-recorded");
        if (!m_spool.lines(Spool::State::Pending, Batch, m_batch, error))
            return stop(Result::SpoolFault, error);
        if (m_batch.isEmpty())
            return end();
    }
    const Result result = postBatch(error);
    if (result != Result::Next)
        return stop(result, error);
    clearHold();
    // Back to the event loop: live reads are served between slices.
    QTimer::singleShot(0, this, &PassPosting::postSlice);
}

// One slice: the lines it has time for, in one transaction of the site
// database. A failed line is rare: its slice is rolled back, the line is
// kept with its error, and the lines before it are posted again by the next
// slice, so that nothing of the failed line stays on any backend.
PassPosting::Result PassPosting::postBatch(Error& error)
{
    DatabaseSession& session = m_with.session;
    if (!session.connect(error) || !checkMarkerTable(error) || !session.begin(error))
        return Result::Held;
    QElapsedTimer slice;
    slice.start();
    QList<Spool::Line> accepted;
    QList<Spool::Outcome> committing;
    qint64 journalAt = AppendOnce::offsetOf(m_journalPath);
    QByteArray journal;
    while (!m_batch.isEmpty() && slice.elapsed() < SliceMs) {
        const Spool::Line line = m_batch.takeFirst();
        QByteArray journalLine;
        switch (postLine(line, journalLine, error)) {
        case Posted::Rejected:
            ++m_rejected;
            m_outcomes.append({line.id, Spool::State::Rejected, QString(), 0, QByteArray()});
            continue;
        case Posted::Failed: {
            session.rollback();
            m_batch = accepted + QList<Spool::Line>{line} + m_batch;
            bool postedBefore = false;
            if (error.unreachable || !session.answers() ||
                (m_markerTable && !markerPresent(line, postedBefore, error)))
                return Result::Held;
            m_batch.removeAt(accepted.size());
            if (postedBefore) {
                // A power cut took the spool's record of it, not the database's.
                m_with.report.reportError(
                    u"Scarico: transito registrato prima di un'interruzione (contrassegno "
                    "presente), non registrato di nuovo; la sua riga di Backup.txt va "
                    "verificata: "_s +
                    QString::fromLatin1(line.transit.line()).trimmed());
                m_outcomes.append({line.id, Spool::State::Posted, QString(), 0, QByteArray()});
                return Result::Next;
            }
            ++m_failed;
            m_outcomes.append(
                {line.id, Spool::State::Failed, ErrorCatalogue::text(error), 0, QByteArray()});
            return Result::Next;
        }
        case Posted::Accepted:
            accepted.append(line);
            committing.append(
                {line.id, Spool::State::Committing, QString(), journalAt, journalLine});
            journalAt += journalLine.size();
            journal += journalLine;
        }
        // Without the marker each commit is its own, so a crash leaves one line in doubt.
        if (!m_markerTable)
            break;
    }
    m_outcomes += committing;
    if (!flush(error)) {
        session.rollback();
        return Result::SpoolFault;
    }
    CrashPoint::reach("line-intent");
    if (!session.commit(error)) {
        // Whether it committed, the markers tell at the next run.
        m_with.log.LogFile(ErrorCatalogue::text(error));
        error.unreachable = true;
        return Result::Held;
    }
    CrashPoint::reach("line-committed");
    m_posted += committing.size();
    Error unwritten;
    if (journal.isEmpty() || AppendOnce::append(m_journalPath, journal, unwritten)) {
        if (!journal.isEmpty())
            CrashPoint::reach("line-journaled");
        m_committed = !committing.isEmpty();
        return Result::Next;
    }
    m_with.log.LogFile(ErrorCatalogue::text(unwritten));
    for (Spool::Outcome& outcome : committing) {
        outcome.state = Spool::State::JournalDue;
        m_outcomes.append(outcome);
    }
    return Result::Next;
}

// One transit. Trace 401 and 501 mark its session, as for a live read.
PassPosting::Posted PassPosting::postLine(const Spool::Line& line, QByteArray& journalLine,
                                          Error& error)
{
    const CollectedTransit& transit = line.transit;
    TerminalRegistry& registry = m_with.registry;
    registry.NumRicevuto = transit.NumTer;
    registry.IPRicevuto = transit.IPTer;
    registry.RecordTransito = transit.record;
    registry.CodiceFunzione = Basic::Mid(transit.record, 18, 2);
    const TransitRead read{static_cast<qint16>(transit.NumTer), transit.IPTer, transit.record,
                           registry.CodiceFunzione};
    ActivityLog& log = m_with.log;
    log.SpY(401);
    const auto done = qScopeGuard([&log] { log.SpY(501); });
    TransitContext context;
    const Verdict verdict = m_with.check.Controlla(read, context);
    if (verdict.kind == Verdict::Kind::Rejected)
        return Posted::Rejected;
    if (verdict.kind == Verdict::Kind::Failed) {
        error = verdict.error;
        return Posted::Failed;
    }
    if (!m_with.posting.CalcolaMov(read, context, journalLine, error) ||
        (m_markerTable && !insertMarker(m_spool.key(line), error)))
        return Posted::Failed;
    return Posted::Accepted;
}

// Outside a transaction: whether the line's key is in the site database.
bool PassPosting::markerPresent(const Spool::Line& line, bool& present, Error& error)
{
    SessionQuery marker;
    if (!m_with.session.run(marker,
                            u"SELECT COUNT(*) AS Quanti FROM ParvixScarico WHERE Chiave = ?"_s,
                            {m_spool.key(line)}, error) ||
        !marker.next()) {
        error.unreachable = true;
        return false;
    }
    present = marker.value(u"Quanti"_s).toInt() > 0;
    return true;
}

bool PassPosting::insertMarker(const QString& key, Error& error)
{
    DatabaseSession& session = m_with.session;
    SessionQuery marker;
    if (session.run(marker, u"INSERT INTO ParvixScarico (Chiave, Registrato) VALUES (?, ?)"_s,
                    {key, session.dialect().dateTime(m_with.clock.now())}, error))
        return true;
    m_with.log.LogFile(ErrorCatalogue::text(error));
    return false;
}

void PassPosting::stop(Result result, const Error& error)
{
    m_posting = false;
    m_batch.clear();
    Error unrecorded;
    if (result == Result::SpoolFault || !flush(unrecorded)) {
        m_outcomes.clear();
        Q_EMIT spoolFailed(result == Result::SpoolFault ? error : unrecorded);
        return;
    }
    if (!m_held) {
        qint64 waiting = 0;
        m_spool.count(Spool::State::Pending, waiting, unrecorded);
        m_with.report.reportError(
            u"Scarico: "_s + ErrorCatalogue::text(error) +
            u": database non raggiungibile, registrazione sospesa (%1 transiti "
            "in attesa)"_s.arg(waiting));
    }
    m_held = true;
    Q_EMIT held(error);
}

// Held until a line gets through, so a database that comes and goes is one report.
void PassPosting::clearHold()
{
    if (std::exchange(m_held, false))
        m_with.log.LogFile(u"Scarico: database raggiungibile, registrazione ripresa"_s);
}

void PassPosting::end()
{
    m_posting = false;
    Error error;
    if (!m_spool.endPass(m_pass, error))
        return stop(Result::SpoolFault, error);
    CrashPoint::reach("posting-finished");
    m_files.finishPosting();
    qint64 failed = 0;
    if (!m_spool.count(Spool::State::Failed, failed, error))
        return stop(Result::SpoolFault, error);
    const QString unposted = m_files.path(u"ScaricoNonRegistrati.txt"_s);
    if ((failed > 0 || QFile::exists(unposted)) && !m_files.writeUnposted(m_spool, error))
        m_with.log.LogFile(u"Scarico: "_s + ErrorCatalogue::text(error) +
                           u": ScaricoNonRegistrati.txt non scritto"_s);
    const QString summary =
        u"Scarico: %1 transiti registrati, %2 rifiutati, %3 non registrati"_s.arg(m_posted)
            .arg(m_rejected)
            .arg(m_failed);
    if (m_failed > 0)
        m_with.report.reportError(summary + u" (ScaricoNonRegistrati.txt)"_s);
    else
        m_with.log.LogFile(summary);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!m_lastPrune.isValid() || m_lastPrune.secsTo(now) > 86400) {
        m_lastPrune = now;
        Error unpruned;
        m_spool.prune(now.addDays(-KeepDays), unpruned);
    }
    Q_EMIT finished({m_posted, m_rejected, m_failed, m_run.elapsed(), unposted});
}

bool PassPosting::flush(Error& error)
{
    if (!m_spool.record(m_outcomes, m_pass, m_committed, error))
        return false;
    m_outcomes.clear();
    m_committed = false;
    return true;
}

bool PassPosting::retryFailed(Error& error)
{
    qint64 count = 0;
    if (!m_spool.retryFailed(count, error))
        return false;
    m_with.log.LogFile(
        u"Scarico: %1 transiti non registrati rimessi in registrazione"_s.arg(count));
    return true;
}
