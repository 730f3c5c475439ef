#include "app/recordwriter.h"
#include "live/badgecheck.h"
#include "spool/collectedtransit.h"
#include "spool/spool.h"
#include "support/serverfixture.h"
#include "support/spoolprobe.h"
#include "support/testdatabase.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString record(const QString& hhmm, const QString& ddmmyy, const QString& badge = u"0042"_s,
               const QString& function = u"#C"_s, const QString& position = u"00001"_s)
{
    return QChar(2) + hhmm + u"00"_s + ddmmyy + badge + function + position + u"241000120"_s +
           QChar(3);
}

QByteArray lines(int terminal, const QStringList& hhmms)
{
    QByteArray bytes;
    for (const QString& hhmm : hhmms)
        bytes += CollectedTransit{terminal, u"127.0.0.%1"_s.arg(10 + terminal),
                                  record(hhmm, u"051226"_s)}
                     .line();
    return bytes;
}

// `count` attendance transits of badge 0042 at terminal 1, each at a minute of its own.
QByteArray manyLines(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const QString hhmm =
            u"%1%2"_s.arg(6 + i / 60 % 14, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0'));
        bytes += CollectedTransit{1, u"127.0.0.11"_s,
                                  record(hhmm, u"0"_s + QString::number(1 + i / 840) + u"1226"_s)}
                     .line();
    }
    return bytes;
}

const QString NoFile = u"DIR PASSAGGI ?*"_s;
const QString HasFile = u"DIR PASSAGGI 66"_s;

} // namespace

// One pass and its faults, driven message by message on the fake control,
// against the database of PARVIX_TEST_BACKEND.
class TestDownloadCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void onePassListsDeletesAndPostsInOrder();
    void terminalsWithoutFileArePassedOver();
    void duplicateEntryEndsThePass();
    void abortedTransferTellsWhatWasKept_data();
    void abortedTransferTellsWhatWasKept();
    void unansweredDeletionsAreKeptPerTerminal();
    void setAsideRecordsAreWrittenOnceTheListingIsKept();
    void lateDirectoryReplyDuringTransferIsIgnored();
    void liveReadsDuringTransfer();
    void ordersByTimeWhateverTheLineWidths();
    void liveReadIsConfirmedWhileAPassIsPosted();
    void earlierVersionFilesArePostedOnce_data();
    void earlierVersionFilesArePostedOnce();
    void siteDatabaseHeaderIsLeftAlone();
    void outageDuringPostingHoldsThePass();
    void failedLineIsRolledBackKeptAndPostedAgain();
    void lineInFlightIsSettledByItsMarker_data();
    void lineInFlightIsSettledByItsMarker();
    void spoolThatCannotBeOpenedStopsOnlyTheCycle();

private:
    void startWithPorts(const QList<int>& terminals);
    void say(int terminal, const QString& text);
    QStringList sent(int terminal) const;
    // A terminal's whole file, answered as a terminal does.
    void transfer(int terminal, const QStringList& records);
    // The scheduler back at `terminal`, which ends the pass.
    void endPass(int terminal, int passes);
    QStringList file(const QString& name) const;
    QStringList hours();
    qint64 unfinished() const;

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<TestDatabase> m_database;
};

void TestDownloadCycle::init()
{
    m_fixture = std::make_unique<ServerFixture>();
    m_database = std::make_unique<TestDatabase>(m_fixture->workspace.path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
    m_fixture->workspace.write(u"Set/Connection.set"_s,
                               RecordWriter::quotedRecord({m_database->connectionString()}));
}

void TestDownloadCycle::cleanup()
{
    m_fixture.reset();
    m_database.reset();
}

// The scheduler runs for real: 600 ms idle, 20 ms during a pass.
void TestDownloadCycle::startWithPorts(const QList<int>& terminals)
{
    m_fixture->wait = EventWait(0.01);
    QVERIFY(m_fixture->start());
    // After the connection pass two (scaled) seconds after start-up, which empties the list.
    QTest::qWait(m_fixture->wait.scaled(2000) * 2);
    for (int terminal : terminals)
        m_fixture->registry.addPort(terminal, u"127.0.0.%1"_s.arg(10 + terminal));
    m_fixture->control.clearCalls();
}

void TestDownloadCycle::say(int terminal, const QString& text)
{
    m_fixture->control.raiseData(u"127.0.0.%1"_s.arg(10 + terminal), text,
                                 static_cast<qint16>(terminal));
}

QStringList TestDownloadCycle::sent(int terminal) const
{
    QStringList texts;
    for (const auto& send : m_fixture->control.sends()) {
        if (send.NumTer == terminal && !send.text.startsWith(u"%E"_s))
            texts.append(send.text);
    }
    return texts;
}

void TestDownloadCycle::transfer(int terminal, const QStringList& records)
{
    say(terminal, HasFile);
    QCOMPARE(sent(terminal).last(), u"CONSIDLE"_s);
    say(terminal, u"CONSIDLE"_s);
    QCOMPARE(sent(terminal).last(), u"TYPE PASSAGGI"_s);
    for (const QString& r : records)
        say(terminal, r);
    say(terminal, QChar(4) + QString::number(records.size()));
    QTRY_COMPARE(sent(terminal).last(), u"DEL PASSAGGI"_s);
    say(terminal, u"DEL PASSAGGI"_s);
    QCOMPARE(sent(terminal).last(), u"OFFLINE"_s);
    say(terminal, u"OFFLINE"_s);
}

void TestDownloadCycle::endPass(int terminal, int passes)
{
    QSignalSpy posted(&m_fixture->server->download(), &DownloadCycle::passPosted);
    QTRY_VERIFY(m_fixture->server->download().scheduler().isActive());
    m_fixture->server->download().Timer3Tick();
    say(terminal, NoFile);
    QTRY_COMPARE(posted.size(), passes);
}

QStringList TestDownloadCycle::file(const QString& name) const
{
    return m_fixture->workspace.lines(name);
}

QStringList TestDownloadCycle::hours()
{
    return m_database->rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s);
}

// Lines not yet posted, rejected or failed for good.
qint64 TestDownloadCycle::unfinished() const
{
    return spoolLines(m_fixture->workspace.path(), u"State IN (0, 1, 2)"_s);
}

void TestDownloadCycle::onePassListsDeletesAndPostsInOrder()
{
    startWithPorts({1});
    DownloadCycle& cycle = m_fixture->server->download();
    QVERIFY(cycle.scheduler().isActive());
    cycle.Timer3Tick();
    QCOMPARE(sent(1), QStringList{u"DIR PASSAGGI"_s});
    say(1, HasFile);
    QVERIFY(!cycle.scheduler().isActive()); // off while the terminal transfers
    QVERIFY(m_fixture->registry.InScarico);
    say(1, u"CONSIDLE"_s);
    say(1, record(u"1700"_s, u"051226"_s));
    say(1, record(u"0800"_s, u"051226"_s));
    say(1, QChar(4) + u"2"_s);
    // The records are in the spool before the terminal is told to delete them.
    QCOMPARE(unfinished(), 2);
    QCOMPARE(file(u"Scarico.txt"_s).size(), 2);
    QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
    say(1, u"DEL PASSAGGI"_s);
    say(1, u"OFFLINE"_s);
    QVERIFY(!m_fixture->registry.InScarico);
    QVERIFY(cycle.scheduler().isActive());
    QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(2000));

    endPass(1, 1); // back at the starting terminal: the pass ends, whatever it answers
    QCOMPARE(file(u"ScaricoOK_OLD.txt"_s),
             (QStringList{u"1,\"127.0.0.11\",\""_s + record(u"0800"_s, u"051226"_s) + u"\""_s,
                          u"1,\"127.0.0.11\",\""_s + record(u"1700"_s, u"051226"_s) + u"\""_s}));
    QCOMPARE(hours(), (QStringList{u"8"_s, u"17"_s}));
    QCOMPARE(m_database->rows(u"SELECT COUNT(DISTINCT Chiave) FROM ParvixScarico"_s),
             QStringList{u"2"_s});
    QCOMPARE(file(u"Backup/Backup.txt"_s).size(), 2);
    QVERIFY(file(u"ScaricoOK.txt"_s).isEmpty());
    QVERIFY(file(u"Scarico.txt"_s).isEmpty());
    QCOMPARE(unfinished(), 0);
    QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(60000));
    // Downloaded transits get no confirmation.
    QVERIFY(m_fixture->control.sends().size() == sent(1).size());
}

void TestDownloadCycle::terminalsWithoutFileArePassedOver()
{
    startWithPorts({1, 2, 3});
    DownloadCycle& cycle = m_fixture->server->download();
    cycle.Timer3Tick();
    transfer(1, {record(u"0900"_s, u"051226"_s)});
    QTRY_VERIFY(sent(2).contains(u"DIR PASSAGGI"_s));
    say(2, NoFile);
    QVERIFY(cycle.scheduler().isActive()); // passed over without stopping the scheduler
    QTRY_VERIFY(sent(3).contains(u"DIR PASSAGGI"_s));
    transfer(3, {record(u"0800"_s, u"051226"_s, u"0045"_s)});
    QCOMPARE(file(u"Scarico.txt"_s).size(), 2);
    QTRY_VERIFY(sent(1).count(u"DIR PASSAGGI"_s) >= 2);
    QSignalSpy posted(&cycle, &DownloadCycle::passPosted);
    say(1, NoFile);
    QTRY_COMPARE(posted.size(), 1);
    QCOMPARE(m_database->rows(u"SELECT Dipendente, Terminale FROM Presenze ORDER BY Progr"_s),
             (QStringList{u"4|3"_s, u"1|1"_s}));
}

void TestDownloadCycle::duplicateEntryEndsThePass()
{
    startWithPorts({1, 1});
    DownloadCycle& cycle = m_fixture->server->download();
    QSignalSpy posted(&cycle, &DownloadCycle::passPosted);
    cycle.Timer3Tick();
    transfer(1, {record(u"0900"_s, u"051226"_s)});
    // The second entry names the same terminal: its answer ends the pass.
    QTRY_VERIFY(sent(1).count(u"DIR PASSAGGI"_s) >= 2);
    say(1, HasFile);
    QTRY_COMPARE(posted.size(), 1);
    QCOMPARE(hours(), QStringList{u"9"_s});
}

void TestDownloadCycle::abortedTransferTellsWhatWasKept_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("kept"); // lines the spool holds afterwards
    QTest::newRow("refused") << u"refused"_s << u"TYPE PASSAGGI ?*"_s << 0;
    QTest::newRow("count mismatch") << u"mismatch"_s << u"annunciati 3 record, ricevuti 2"_s << 0;
    QTest::newRow("silent while listing")
        << u"silent"_s << u"tempo limite: elenco scartato, il file resta sul terminale"_s << 0;
    QTest::newRow("dropped while listing")
        << u"dropped"_s << u"collegamento caduto: elenco scartato"_s << 0;
    QTest::newRow("silent after the deletion was asked")
        << u"silent after DEL"_s << u"tempo limite: elenco conservato, cancellazione non"_s << 2;
    QTest::newRow("dropped after the deletion was asked")
        << u"dropped after DEL"_s << u"collegamento caduto: elenco conservato"_s << 2;
    QTest::newRow("silent after the deletion")
        << u"silent after deleted"_s << u"elenco conservato e file cancellato"_s << 2;
}

void TestDownloadCycle::abortedTransferTellsWhatWasKept()
{
    QFETCH(QString, fault);
    QFETCH(QString, logged);
    QFETCH(int, kept);
    startWithPorts({1});
    DownloadCycle& cycle = m_fixture->server->download();
    cycle.Timer3Tick();
    say(1, HasFile);
    say(1, u"CONSIDLE"_s);
    if (fault == u"refused"_s) {
        say(1, u"TYPE PASSAGGI ?*"_s);
    } else {
        say(1, record(u"0800"_s, u"051226"_s));
        say(1, record(u"0900"_s, u"051226"_s));
        if (fault != u"silent"_s && fault != u"dropped"_s)
            say(1, QChar(4) + (fault == u"mismatch"_s ? u"3"_s : u"2"_s));
        if (fault.contains(u"DEL"_s) || fault.contains(u"deleted"_s))
            QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
        if (fault.contains(u"deleted"_s))
            say(1, u"DEL PASSAGGI"_s);
        if (fault.startsWith(u"dropped"_s))
            m_fixture->control.raiseStateChange(0, u"127.0.0.11"_s, 1);
    }
    // The terminal is unlocked (a silent one by the time-out); the scheduler goes on.
    if (fault == u"refused"_s || fault == u"mismatch"_s) {
        QTRY_VERIFY(sent(1).contains(u"OFFLINE"_s));
        say(1, u"OFFLINE"_s);
    }
    QTRY_VERIFY(!m_fixture->registry.InScarico);
    QVERIFY(sent(1).contains(u"OFFLINE"_s));
    QVERIFY(cycle.scheduler().isActive());
    QCOMPARE(sent(1).contains(u"DEL PASSAGGI"_s), kept > 0);
    QCOMPARE(unfinished(), kept);
    QCOMPARE(file(u"Scarico.txt"_s).size(), kept);
    QTRY_VERIFY2(m_fixture->logLines().filter(logged).size() == 1,
                 qPrintable(m_fixture->logLines().join(u'\n')));
}

// Two terminals whose deletion answers were lost: the first kept its file,
// the second deleted it. Each is judged against its own listing.
void TestDownloadCycle::unansweredDeletionsAreKeptPerTerminal()
{
    startWithPorts({1, 2});
    DownloadCycle& cycle = m_fixture->server->download();
    const QStringList first{record(u"0800"_s, u"051226"_s), record(u"0900"_s, u"051226"_s)};
    const QStringList second{record(u"0700"_s, u"051226"_s, u"0043"_s)};
    cycle.Timer3Tick();
    for (const auto& [terminal, records] : {std::pair{1, first}, std::pair{2, second}}) {
        QTRY_VERIFY(sent(terminal).contains(u"DIR PASSAGGI"_s));
        say(terminal, HasFile);
        say(terminal, u"CONSIDLE"_s);
        for (const QString& r : records)
            say(terminal, r);
        say(terminal, QChar(4) + QString::number(records.size()));
        QTRY_COMPARE(sent(terminal).last(), u"DEL PASSAGGI"_s);
        m_fixture->control.raiseStateChange(0, u"127.0.0.%1"_s.arg(10 + terminal), terminal);
    }
    endPass(1, 1);
    QCOMPARE(hours().size(), 3);

    // Terminal 1 still holds its records and one more; terminal 2 has a new file.
    m_fixture->control.clearCalls();
    cycle.Timer3Tick();
    transfer(1, first + QStringList{record(u"1000"_s, u"051226"_s)});
    QTRY_VERIFY(sent(2).contains(u"DIR PASSAGGI"_s));
    transfer(2, {record(u"1100"_s, u"051226"_s, u"0043"_s)});
    endPass(1, 1);
    QCOMPARE(m_fixture->logLines().filter(u"2 record già raccolti"_s).size(), 1);
    QCOMPARE(hours(), (QStringList{u"7"_s, u"8"_s, u"9"_s, u"10"_s, u"11"_s}));
}

// A record that cannot be posted is kept aside when its listing is kept:
// a listing that fails and is listed again does not write it twice.
void TestDownloadCycle::setAsideRecordsAreWrittenOnceTheListingIsKept()
{
    startWithPorts({1});
    const QString quoted = record(u"0800"_s, u"051226"_s).replace(10, 1, u'"');
    const QString short33 = record(u"0900"_s, u"051226"_s).remove(5, 1);
    const QStringList listing{quoted, short33, record(u"1000"_s, u"051226"_s)};
    DownloadCycle& cycle = m_fixture->server->download();
    cycle.Timer3Tick();
    say(1, HasFile);
    say(1, u"CONSIDLE"_s);
    for (const QString& r : listing)
        say(1, r);
    say(1, QChar(4) + u"4"_s); // a wrong count: the listing is not kept
    QTRY_VERIFY(sent(1).contains(u"OFFLINE"_s));
    say(1, u"OFFLINE"_s);
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoScartati.txt"_s));
    endPass(1, 1);
    cycle.Timer3Tick();
    transfer(1, listing);
    // Counted (so the file is deleted), kept aside with a log line, never split into fields.
    QCOMPARE(file(u"Scarico.txt"_s).size(), 1);
    QCOMPARE(file(u"ScaricoScartati.txt"_s).size(), 2);
    QCOMPARE(m_fixture->logLines().filter(u"ScaricoScartati.txt"_s).size(), 2);
}

// Terminal 2 answers the scheduler's earlier question while terminal 1 lists
// its file: one transfer at a time, and terminal 1's records stay its listing.
void TestDownloadCycle::lateDirectoryReplyDuringTransferIsIgnored()
{
    startWithPorts({1, 2});
    DownloadCycle& cycle = m_fixture->server->download();
    cycle.Timer3Tick();
    say(1, HasFile);
    say(1, u"CONSIDLE"_s);
    say(1, record(u"0800"_s, u"051226"_s));
    say(2, HasFile);
    say(1, record(u"0900"_s, u"051226"_s));
    say(1, QChar(4) + u"2"_s);
    QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
    QVERIFY(sent(2).isEmpty());
    QCOMPARE(m_fixture->logLines().filter(u"durante il trasferimento del terminale 1"_s).size(), 1);
    QVERIFY(m_fixture->control.sends().size() == sent(1).size()); // no display text
    QCOMPARE(hours(), QStringList());                             // nothing taken for a live read
    say(1, u"DEL PASSAGGI"_s);
    say(1, u"OFFLINE"_s);
    endPass(1, 1);
    QCOMPARE(hours(), (QStringList{u"8"_s, u"9"_s}));
}

void TestDownloadCycle::liveReadsDuringTransfer()
{
    startWithPorts({1});
    m_fixture->server->download().Timer3Tick();
    say(1, HasFile);
    say(1, u"CONSIDLE"_s);
    // The transferring terminal's record goes to the listing, never to the check.
    say(1, record(u"0800"_s, u"051226"_s, u"0099"_s));
    // Another terminal's unknown badge: checked, logged, but no display text.
    say(2, record(u"0801"_s, u"061226"_s, u"0099"_s));
    QTRY_COMPARE(m_fixture->logLines().filter(u" [3]"_s).size(), 1);
    QVERIFY(sent(2).isEmpty());
    QCOMPARE(m_fixture->control.sends().size(), sent(1).size());
}

void TestDownloadCycle::ordersByTimeWhateverTheLineWidths()
{
    QList<CollectedTransit> lines{
        {15, u"127.0.0.105"_s, record(u"0700"_s, u"061226"_s)},
        {5, u"127.0.0.5"_s, record(u"2300"_s, u"051226"_s)},
        {15, u"127.0.0.105"_s, record(u"0800"_s, u"311299"_s)}, // 1999
        {5, u"127.0.0.5"_s, record(u"0700"_s, u"061226"_s, u"0043"_s)},
        {5, u"127.0.0.5"_s, record(u"0630"_s, u"061226"_s)},
    };
    CollectedTransit::sortChronologically(lines);
    QStringList order;
    for (const CollectedTransit& line : lines)
        order.append(QString::number(line.NumTer) + line.record.mid(1, 4) + line.record.mid(7, 6));
    QCOMPARE(order, (QStringList{u"150800311299"_s, u"52300051226"_s, u"50630061226"_s,
                                 u"150700061226"_s, u"50700061226"_s}));
}

void TestDownloadCycle::liveReadIsConfirmedWhileAPassIsPosted()
{
    m_fixture->workspace.write(u"Scarico.txt"_s, manyLines(3000));
    QVERIFY(m_fixture->start());
    DownloadCycle& cycle = m_fixture->server->download();
    QVERIFY(cycle.isPosting());
    QTRY_VERIFY(unfinished() < 3000);
    m_fixture->control.clearCalls();
    say(2, record(u"1200"_s, u"061226"_s, u"0045"_s));
    QCOMPARE(m_fixture->control.sends().size(), 1);
    QCOMPARE(m_fixture->control.sends().first().text,
             BadgeCheck::displayText(u"KTessera n. 45| Entra ->] 12:00"_s));
    QVERIFY(cycle.isPosting()); // answered long before the pass is done
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isPosting(), 60000);
    QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM Presenze"_s), QStringList{u"3001"_s});
}

void TestDownloadCycle::earlierVersionFilesArePostedOnce_data()
{
    QTest::addColumn<QByteArray>("collected"); // Scarico.txt
    QTest::addColumn<QByteArray>("ordered");   // ScaricoOK.txt
    QTest::addColumn<QByteArray>("progress");  // ScaricoOK.pos, empty: none
    QTest::addColumn<int>("headerMark");       // the embedded database's header
    QTest::addColumn<QStringList>("hours");
    const QByteArray three = lines(1, {u"0800"_s, u"0900"_s, u"1000"_s});
    QTest::newRow("cut while collecting")
        << three << QByteArray() << QByteArray() << 0 << QStringList{u"8"_s, u"9"_s, u"10"_s};
    QTest::newRow("cut while posting")
        << QByteArray() << three << QByteArrayLiteral("2 7") << 0 << QStringList{u"10"_s};
    QTest::newRow("cut before Scarico.txt was emptied")
        << three << three << QByteArrayLiteral("0 7") << 0 << QStringList{u"8"_s, u"9"_s, u"10"_s};
    QTest::newRow("cut between the rename and the new ScaricoOK.txt")
        << lines(1, {u"1100"_s}) << QByteArray() << QByteArrayLiteral("3 7") << 0
        << QStringList{u"11"_s};
    QTest::newRow("committed with its mark in the header")
        << QByteArray() << three << QByteArrayLiteral("1 7") << 7000002 << QStringList{u"10"_s};
}

// A site upgrading in the middle of a pass: what the earlier version's files
// hold that was never posted is posted once.
void TestDownloadCycle::earlierVersionFilesArePostedOnce()
{
    QFETCH(QByteArray, collected);
    QFETCH(QByteArray, ordered);
    QFETCH(QByteArray, progress);
    QFETCH(int, headerMark);
    QFETCH(QStringList, hours);
    if (headerMark > 0) {
        if (m_database->backend() != u"sqlite"_s)
            QSKIP("only the embedded database kept a mark in its header");
        QVERIFY(m_database->exec(u"PRAGMA user_version = %1"_s.arg(headerMark)));
    }
    m_fixture->workspace.write(u"Scarico.txt"_s, collected);
    if (!ordered.isEmpty())
        m_fixture->workspace.write(u"ScaricoOK.txt"_s, ordered);
    if (!progress.isEmpty())
        m_fixture->workspace.write(u"ScaricoOK.pos"_s, progress);
    QVERIFY(m_fixture->start());
    QTRY_VERIFY(!m_fixture->server->download().isPosting());
    QCOMPARE(this->hours(), hours);
    QCOMPARE(file(u"ScaricoOK_OLD.txt"_s).size(), hours.size());
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoOK.pos"_s));
    QVERIFY(file(u"Scarico.txt"_s).isEmpty());
    QVERIFY(m_fixture->logLines().filter(u"Errore #53"_s).isEmpty());
    QVERIFY(m_fixture->server->download().scheduler().isActive());
}

// Two passes of one line each: the second line is posted too, and the site
// database's own header (another program's schema version) is not touched.
void TestDownloadCycle::siteDatabaseHeaderIsLeftAlone()
{
    const bool embedded = m_database->backend() == u"sqlite"_s;
    if (embedded)
        QVERIFY(m_database->exec(u"PRAGMA user_version = 4242"_s));
    startWithPorts({1});
    for (int pass = 1; pass <= 2; ++pass) {
        m_fixture->server->download().Timer3Tick();
        transfer(1, {record(u"0%1"_s.arg(7 + pass) + u"00"_s, u"051226"_s)});
        endPass(1, 1);
    }
    QCOMPARE(hours(), (QStringList{u"8"_s, u"9"_s}));
    QCOMPARE(m_database->rows(u"SELECT COUNT(DISTINCT Chiave) FROM ParvixScarico"_s),
             QStringList{u"2"_s});
    if (embedded)
        QCOMPARE(m_database->scalar(u"PRAGMA user_version"_s).toInt(), 4242);
}

// The database goes away in the middle of a posting: nothing is counted as
// done; the posting is held (one line for the operator) and resumes by
// itself at a later tick, once the database is back.
void TestDownloadCycle::outageDuringPostingHoldsThePass()
{
    m_fixture->workspace.write(u"Scarico.txt"_s, manyLines(600));
    m_fixture->wait = EventWait(0.01);
    QVERIFY(m_fixture->start());
    DownloadCycle& cycle = m_fixture->server->download();
    while (cycle.isPosting() && unfinished() == 600)
        QCoreApplication::processEvents();
    QVERIFY2(cycle.isPosting(), "the outage must come in the middle of the posting");
    QVERIFY(m_database->setReachable(false));
    QTRY_VERIFY(!cycle.isPosting());
    const qint64 waiting = unfinished();
    QVERIFY(waiting > 0 && waiting < 600);
    QTest::qWait(m_fixture->wait.scaled(60000) * 3); // three ticks without the database
    QCOMPARE(unfinished(), waiting);
    QCOMPARE(m_fixture->logLines().filter(u"registrazione sospesa"_s).size(), 1);

    QVERIFY(m_database->setReachable(true));
    QTRY_VERIFY_WITH_TIMEOUT(unfinished() == 0 && !cycle.isPosting(), 30000);
    QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM Presenze"_s), QStringList{u"600"_s});
    QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM ParvixScarico"_s), QStringList{u"600"_s});
    QCOMPARE(m_fixture->logLines().filter(u"registrazione ripresa"_s).size(), 1);
    QCOMPARE(file(u"Backup/Backup.txt"_s).size(), 600);
}

// A statement fails in the middle of a line (the work sheet it opens is
// refused): the line leaves nothing behind on any backend, is listed for
// the operator, and is posted when asked once the cause is gone.
void TestDownloadCycle::failedLineIsRolledBackKeptAndPostedAgain()
{
    const bool postgres = m_database->isPostgreSQL();
    QVERIFY(m_database->exec(
        postgres ? u"ALTER TABLE SchedeLav ADD CONSTRAINT NoPosition7 CHECK (PosizLav <> 7)"_s
                 : u"CREATE TRIGGER NoPosition7 BEFORE INSERT ON SchedeLav WHEN NEW.PosizLav = 7 "
                   "BEGIN SELECT RAISE(ABORT, 'posizione 7'); END"_s));
    startWithPorts({1});
    const QString start = record(u"0800"_s, u"051226"_s, u"0042"_s, u"00"_s, u"00001"_s);
    const QString refused = record(u"0900"_s, u"051226"_s, u"0042"_s, u"00"_s, u"00007"_s);
    const QString end = record(u"1000"_s, u"051226"_s, u"0042"_s, u"#B"_s, u"00001"_s);
    m_fixture->server->download().Timer3Tick();
    transfer(1, {start, refused, end});
    endPass(1, 1);
    const QString sheets =
        u"SELECT PosizLav, OraInizio, OraFine FROM SchedeLav ORDER BY OraInizio"_s;
    // The 09:00 line closed nothing: the 08:00 sheet runs to 10:00.
    QCOMPARE(m_database->rows(sheets), QStringList{u"1|1900-01-01 08:00:00|1900-01-01 10:00:00"_s});
    const QStringList unposted = file(u"ScaricoNonRegistrati.txt"_s);
    QCOMPARE(unposted.size(), 1);
    QVERIFY(unposted.first().startsWith(u"1,\"127.0.0.11\",\""_s + refused + u"\",\"Errore #"_s));
    QCOMPARE(m_fixture->logLines().filter(u"1 non registrati (ScaricoNonRegistrati.txt)"_s).size(),
             1);

    QVERIFY(m_database->exec(postgres ? u"ALTER TABLE SchedeLav DROP CONSTRAINT NoPosition7"_s
                                      : u"DROP TRIGGER NoPosition7"_s));
    QSignalSpy posted(&m_fixture->server->download(), &DownloadCycle::passPosted);
    m_fixture->server->download().retryFailed();
    QTRY_COMPARE(posted.size(), 1);
    QCOMPARE(m_database->rows(sheets).size(), 2);
    QVERIFY(file(u"ScaricoNonRegistrati.txt"_s).isEmpty());
    QCOMPARE(unfinished(), 0);
}

void TestDownloadCycle::lineInFlightIsSettledByItsMarker_data()
{
    QTest::addColumn<bool>("intent"); // the spool knew the commit was under way
    QTest::addColumn<bool>("markerTable");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<int>("rows");       // attendance rows posted
    QTest::addColumn<int>("journal");    // journal lines
    QTest::addColumn<QString>("logged"); // for the operator
    QTest::newRow("committed") << true << true << true << 0 << 1 << QString();
    QTest::newRow("not committed") << true << true << false << 1 << 1 << QString();
    QTest::newRow("no marker table") << true << false << false << 0 << 0 << u"da verificare"_s;
    QTest::newRow("the spool's record lost, the marker kept")
        << false << true << true << 0 << 0 << u"non registrato di nuovo"_s;
}

// A line the spool saw about to commit when the server stopped: posted once,
// its journal line written once; without the marker table, left to the
// operator. A power cut may also take the spool's last records: the marker
// still keeps the line from being posted twice.
void TestDownloadCycle::lineInFlightIsSettledByItsMarker()
{
    QFETCH(bool, intent);
    QFETCH(bool, markerTable);
    QFETCH(bool, marker);
    QFETCH(int, rows);
    QFETCH(int, journal);
    QFETCH(QString, logged);
    const CollectedTransit transit{1, u"127.0.0.11"_s, record(u"0800"_s, u"051226"_s)};
    {
        Spool spool(m_fixture->workspace.filePath(u"Scarico.db"_s));
        bool created = false;
        Error error;
        QVERIFY(spool.open({}, created, error));
        QVERIFY(spool.storeListing(1, {transit}, 0, {transit}, {}, 0, error));
        if (intent)
            QVERIFY(spool.record({{1, Spool::State::Committing, QString(), 0, "journal line\r\n"}},
                                 0, false, error));
        QList<Spool::Line> lines;
        QVERIFY(spool.lines(intent ? Spool::State::Committing : Spool::State::Pending, 10, lines,
                            error));
        QCOMPARE(lines.size(), 1);
        if (marker)
            QVERIFY(m_database->exec(
                u"INSERT INTO ParvixScarico (Chiave, Registrato) VALUES (?, NULL)"_s,
                {spool.key(lines.first())}));
    }
    if (!markerTable)
        QVERIFY(m_database->exec(u"DROP TABLE ParvixScarico"_s));
    QVERIFY(m_fixture->start());
    QTRY_VERIFY(!m_fixture->server->download().isPosting());
    QCOMPARE(hours().size(), rows);
    QCOMPARE(file(u"Backup/Backup.txt"_s).size(), journal);
    if (!logged.isEmpty())
        QCOMPARE(m_fixture->logLines().filter(logged).size(), 1);
    QCOMPARE(m_fixture->logLines().filter(u"Tabella ParvixScarico assente"_s).size(),
             markerTable ? 0 : 1);
    QCOMPARE(unfinished(), 0);
}

// Scarico.db unusable: no terminal is asked for its file, a late directory
// reply starts nothing, live reads are answered; the cycle resumes by
// itself once the spool can be opened.
void TestDownloadCycle::spoolThatCannotBeOpenedStopsOnlyTheCycle()
{
    QDir(m_fixture->workspace.path()).mkpath(u"Scarico.db"_s);
    startWithPorts({1});
    DownloadCycle& cycle = m_fixture->server->download();
    QCOMPARE(m_fixture->logLines().filter(u"Scarico.db non utilizzabile"_s).size(), 1);
    cycle.Timer3Tick();
    say(1, HasFile);
    QVERIFY(sent(1).isEmpty());
    say(2, record(u"1200"_s, u"061226"_s, u"0045"_s));
    QCOMPARE(m_fixture->control.sends().size(), 1); // the live read's confirmation
    QCOMPARE(m_fixture->logLines().filter(u"Scarico.db non utilizzabile"_s).size(), 1);

    m_fixture->workspace.remove(u"Scarico.db"_s);
    cycle.Timer3Tick();
    QCOMPARE(sent(1), QStringList{u"DIR PASSAGGI"_s});
    QCOMPARE(m_fixture->logLines().filter(u"di nuovo utilizzabile"_s).size(), 1);
}

QTEST_GUILESS_MAIN(TestDownloadCycle)
#include "tst_downloadcycle.moc"
