#include "app/recordwriter.h"
#include "live/badgecheck.h"
#include "support/serverfixture.h"
#include "support/testdatabase.h"
#include "terminal/collectedtransits.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString record(const QString& hhmm, const QString& ddmmyy, const QString& badge = u"0042"_s,
               const QString& function = u"#C"_s)
{
    return QChar(2) + hhmm + u"00"_s + ddmmyy + badge + function + u"00001000000000"_s + QChar(3);
}

const QString NoFile = u"DIR PASSAGGI ?*"_s;
const QString HasFile = u"DIR PASSAGGI 66"_s;

} // namespace

// One pass and its faults, driven message by message on the fake control.
class TestDownloadCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void onePassListsDeletesAndPostsInOrder();
    void terminalsWithoutFileArePassedOver();
    void duplicateEntryEndsThePass();
    void failedListingsLeaveNothingBehind_data();
    void failedListingsLeaveNothingBehind();
    void listingNotConfirmedDeletedIsNotCollectedTwice();
    void notedListingCountsOnlyIfCollected_data();
    void notedListingCountsOnlyIfCollected();
    void unpostableRecordsAreSetAside();
    void liveReadsDuringTransfer();
    void ordersByTimeWhateverTheLineWidths();
    void liveReadIsConfirmedWhileAPassIsPosted();
    void interruptedPassIsFinishedOnce_data();
    void interruptedPassIsFinishedOnce();

private:
    void startWithPorts(const QList<int>& terminals);
    void say(int terminal, const QString& text);
    QStringList sent(int terminal) const;
    // A terminal's whole file, answered as a terminal does.
    void transfer(int terminal, const QStringList& records);
    QStringList scarico(const QString& name = u"Scarico.txt"_s) const;

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<TestDatabase> m_database;
};

void TestDownloadCycle::init()
{
    m_fixture = std::make_unique<ServerFixture>();
    m_database = std::make_unique<TestDatabase>(m_fixture->workspace.path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
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

QStringList TestDownloadCycle::scarico(const QString& name) const
{
    return m_fixture->workspace.lines(name);
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
    // The records are on disk before the terminal is told to delete them.
    QCOMPARE(scarico().size(), 2);
    QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
    say(1, u"DEL PASSAGGI"_s);
    say(1, u"OFFLINE"_s);
    QVERIFY(!m_fixture->registry.InScarico);
    QVERIFY(cycle.scheduler().isActive());
    QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(2000));

    QSignalSpy posted(&cycle, &DownloadCycle::passPosted);
    cycle.Timer3Tick();
    say(1, NoFile); // back at the starting terminal: the pass ends, whatever it answers
    QTRY_COMPARE(posted.size(), 1);
    QCOMPARE(scarico(u"ScaricoOK_OLD.txt"_s),
             (QStringList{u"1,\"127.0.0.11\",\""_s + record(u"0800"_s, u"051226"_s) + u"\""_s,
                          u"1,\"127.0.0.11\",\""_s + record(u"1700"_s, u"051226"_s) + u"\""_s}));
    QCOMPARE(m_database->rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s),
             (QStringList{u"8"_s, u"17"_s}));
    QVERIFY(m_fixture->workspace.read(u"ScaricoOK.txt"_s).isEmpty());
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoOK.pos"_s));
    QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(60000));
    // Downloaded transits get no confirmation.
    QVERIFY(m_fixture->control.sends().size() == sent(1).size());
}

void TestDownloadCycle::terminalsWithoutFileArePassedOver()
{
    startWithPorts({1, 2, 3});
    DownloadCycle& cycle = m_fixture->server->download();
    QSignalSpy posted(&cycle, &DownloadCycle::passPosted);
    cycle.Timer3Tick();
    transfer(1, {record(u"0900"_s, u"051226"_s)});
    QTRY_VERIFY(sent(2).contains(u"DIR PASSAGGI"_s));
    say(2, NoFile);
    QVERIFY(cycle.scheduler().isActive()); // passed over without stopping the scheduler
    QTRY_VERIFY(sent(3).contains(u"DIR PASSAGGI"_s));
    transfer(3, {record(u"0800"_s, u"051226"_s, u"0045"_s)});
    QCOMPARE(scarico().size(), 2);
    QTRY_VERIFY(sent(1).count(u"DIR PASSAGGI"_s) >= 2);
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
    QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM Presenze"_s), QStringList{u"1"_s});
}

void TestDownloadCycle::failedListingsLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("logged");
    QTest::newRow("refused") << u"refused"_s << QString();
    QTest::newRow("count mismatch") << u"mismatch"_s << u"annunciati 3 record, ricevuti 2"_s;
    QTest::newRow("silent terminal") << u"timeout"_s << u"nessuna risposta entro il tempo limite"_s;
    QTest::newRow("link dropped") << u"dropped"_s << u"collegamento caduto"_s;
    QTest::newRow("Scarico.txt unwritable") << u"unwritable"_s << u"il file resta sul terminale"_s;
}

void TestDownloadCycle::failedListingsLeaveNothingBehind()
{
    QFETCH(QString, fault);
    QFETCH(QString, logged);
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
        if (fault == u"mismatch"_s)
            say(1, QChar(4) + u"3"_s);
        else if (fault == u"dropped"_s)
            m_fixture->control.raiseStateChange(0, u"127.0.0.11"_s, 1);
        else if (fault == u"unwritable"_s) {
            QDir(m_fixture->workspace.path()).mkpath(u"Scarico.txt"_s);
            say(1, QChar(4) + u"2"_s);
        }
    }
    // The terminal is unlocked, never told to delete; the scheduler goes on.
    QTRY_VERIFY(sent(1).contains(u"OFFLINE"_s));
    QVERIFY(!sent(1).contains(u"DEL PASSAGGI"_s));
    if (m_fixture->registry.InScarico)
        say(1, u"OFFLINE"_s);
    QVERIFY(!m_fixture->registry.InScarico);
    QVERIFY(cycle.scheduler().isActive());
    if (fault != u"unwritable"_s)
        QVERIFY(scarico().isEmpty());
    if (!logged.isEmpty())
        QVERIFY2(m_fixture->logLines().filter(logged).size() == 1,
                 qPrintable(m_fixture->logLines().join(u'\n')));
}

void TestDownloadCycle::listingNotConfirmedDeletedIsNotCollectedTwice()
{
    startWithPorts({1});
    DownloadCycle& cycle = m_fixture->server->download();
    QSignalSpy posted(&cycle, &DownloadCycle::passPosted);
    const QStringList stored{record(u"0800"_s, u"051226"_s), record(u"0900"_s, u"051226"_s)};
    cycle.Timer3Tick();
    say(1, HasFile);
    say(1, u"CONSIDLE"_s);
    for (const QString& r : stored)
        say(1, r);
    say(1, QChar(4) + u"2"_s);
    QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
    // The link drops before the terminal confirms: its file may still be there.
    m_fixture->control.raiseStateChange(0, u"127.0.0.11"_s, 1);
    cycle.Timer3Tick();
    say(1, NoFile);
    QTRY_COMPARE(posted.size(), 1);

    // The next pass lists the same records and one more: only that one is new.
    QTRY_VERIFY(cycle.scheduler().isActive());
    cycle.Timer3Tick();
    transfer(1, stored + QStringList{record(u"1000"_s, u"051226"_s)});
    QCOMPARE(scarico().size(), 1);
    QCOMPARE(m_fixture->logLines().filter(u"2 record già raccolti"_s).size(), 1);
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoInCancellazione.txt"_s));
    cycle.Timer3Tick();
    say(1, NoFile);
    QTRY_COMPARE(posted.size(), 2);
    QCOMPARE(m_database->rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s),
             (QStringList{u"8"_s, u"9"_s, u"10"_s}));
}

void TestDownloadCycle::notedListingCountsOnlyIfCollected_data()
{
    QTest::addColumn<bool>("collected");
    QTest::newRow("stopped after storing") << true;
    QTest::newRow("stopped before storing") << false;
}

// A stop between noting a listing and storing its records: at start-up the
// note stands only if Scarico.txt ends with the listing.
void TestDownloadCycle::notedListingCountsOnlyIfCollected()
{
    QFETCH(bool, collected);
    const QList<CollectedTransit> listing{{1, u"127.0.0.11"_s, record(u"0800"_s, u"051226"_s)},
                                          {1, u"127.0.0.11"_s, record(u"0900"_s, u"051226"_s)}};
    CollectedTransits files(m_fixture->workspace.path());
    Error error;
    QVERIFY(files.noteListing(listing, error));
    if (collected)
        QVERIFY(files.append(listing, error));
    files.settleListing();
    QCOMPARE(m_fixture->workspace.exists(u"ScaricoInCancellazione.txt"_s), collected);
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoInCancellazione.new"_s));
    QCOMPARE(files.alreadyCollected(listing), collected ? 2 : 0);
}

void TestDownloadCycle::unpostableRecordsAreSetAside()
{
    startWithPorts({1});
    m_fixture->server->download().Timer3Tick();
    const QString quoted = record(u"0800"_s, u"051226"_s).replace(10, 1, u'"');
    const QString short33 = record(u"0900"_s, u"051226"_s).remove(5, 1);
    transfer(1, {quoted, short33, record(u"1000"_s, u"051226"_s)});
    // Counted (so the file is deleted), kept aside with a log line, never split into fields.
    QCOMPARE(scarico().size(), 1);
    QCOMPARE(scarico(u"ScaricoScartati.txt"_s).size(), 2);
    QCOMPARE(m_fixture->logLines().filter(u"ScaricoScartati.txt"_s).size(), 2);
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
    CollectedTransits::sortChronologically(lines);
    QStringList order;
    for (const CollectedTransit& line : lines)
        order.append(QString::number(line.NumTer) + line.record.mid(1, 4) + line.record.mid(7, 6));
    QCOMPARE(order, (QStringList{u"150800311299"_s, u"52300051226"_s, u"50630061226"_s,
                                 u"150700061226"_s, u"50700061226"_s}));
}

void TestDownloadCycle::liveReadIsConfirmedWhileAPassIsPosted()
{
    QByteArray lines;
    for (int i = 0; i < 3000; ++i)
        lines +=
            CollectedTransit{
                1, u"127.0.0.11"_s,
                record(
                    u"%1%2"_s.arg(6 + i / 600, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')),
                    u"0"_s + QString::number(1 + i / 60 % 9) + u"1226"_s)}
                .line();
    m_fixture->workspace.write(u"Scarico.txt"_s, lines);
    QVERIFY(m_fixture->start());
    DownloadCycle& cycle = m_fixture->server->download();
    QVERIFY(cycle.isPosting());
    QTRY_VERIFY(
        m_fixture->workspace.read(u"ScaricoOK.pos"_s).simplified().split(' ').value(0).toInt() > 0);
    m_fixture->control.clearCalls();
    say(2, record(u"1200"_s, u"061226"_s, u"0045"_s));
    QCOMPARE(m_fixture->control.sends().size(), 1);
    QCOMPARE(m_fixture->control.sends().first().text,
             BadgeCheck::displayText(u"KTessera n. 45| Entra ->] 12:00"_s));
    QVERIFY(cycle.isPosting()); // answered long before the pass is done
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isPosting(), 60000);
    QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM Presenze"_s), QStringList{u"3001"_s});
}

void TestDownloadCycle::interruptedPassIsFinishedOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("progress"); // -1: no progress file
    QTest::addColumn<QStringList>("hours");
    QTest::newRow("cut while collecting")
        << u"Scarico.txt"_s << -1 << QStringList{u"8"_s, u"9"_s, u"10"_s};
    QTest::newRow("cut while posting") << u"ScaricoOK.txt"_s << 2 << QStringList{u"10"_s};
}

void TestDownloadCycle::interruptedPassIsFinishedOnce()
{
    QFETCH(QString, file);
    QFETCH(int, progress);
    QFETCH(QStringList, hours);
    QByteArray lines;
    for (const QString& hhmm : {u"0800"_s, u"0900"_s, u"1000"_s})
        lines += CollectedTransit{1, u"127.0.0.11"_s, record(hhmm, u"051226"_s)}.line();
    m_fixture->workspace.write(file, lines);
    if (progress >= 0)
        m_fixture->workspace.write(u"ScaricoOK.pos"_s, QByteArray::number(progress));
    QVERIFY(m_fixture->start());
    QTRY_VERIFY(!m_fixture->server->download().isPosting());
    QCOMPARE(m_database->rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s), hours);
    QCOMPARE(scarico(u"ScaricoOK_OLD.txt"_s).size(), 3);
    QVERIFY(!m_fixture->workspace.exists(u"ScaricoOK.pos"_s));
    QVERIFY(m_fixture->workspace.read(u"Scarico.txt"_s).isEmpty());
    QVERIFY(m_fixture->server->download().scheduler().isActive());
}

QTEST_GUILESS_MAIN(TestDownloadCycle)
#include "tst_downloadcycle.moc"
