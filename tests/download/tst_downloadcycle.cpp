#include "spool/collectedtransit.h"
#include "spool/spool.h"
#include "support/serverfixture.h"
#include "support/spoolprobe.h"
#include "support/testrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A collected record of 05/12/26; work-sheet functions need a known order.
QString record(const QString& hhmm, const QString& badge = u"0042"_s,
               const QString& function = u"#C"_s, const QString& position = u"00001"_s)
{
    return TestRecord{.hhmm = hhmm,
                      .ddmmyy = u"051226"_s,
                      .badge = badge,
                      .function = function,
                      .position = position,
                      .order = u"241000120"_s}
        .text();
}

// `count` attendance lines of terminal 1 at 06:00, 07:00, ... 19:00, 06:01, ...
QByteArray lines(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const QString hhmm =
            u"%1%2"_s.arg(6 + i % 14, 2, 10, QChar(u'0')).arg(i / 14, 2, 10, QChar(u'0'));
        bytes += CollectedTransit{1, u"127.0.0.11"_s, record(hhmm)}.line();
    }
    return bytes;
}

const QString NoFile = u"DIR PASSAGGI ?*"_s;
const QString HasFile = u"DIR PASSAGGI 66"_s;

} // namespace

// One pass and its faults, driven message by message on the fake control,
// against the database of PARVIX_TEST_BACKEND. The randomized model of whole
// passes with faults and crashes is the system test of the download.
class TestDownloadCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<ServerFixture>();
        QVERIFY2(m_fixture->useDatabase(), qPrintable(m_fixture->database->error()));
        // The scheduler runs for real: 600 ms idle, 20 ms in a pass.
        m_fixture->wait = EventWait(0.01);
    }

    void passTellsWhatItKeptAndPostsInOrder_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("logged"); // what was kept, for the operator
        QTest::addColumn<int>("kept");       // lines the spool holds after the transfer
        QTest::newRow("none") << QString() << QString() << 2;
        QTest::newRow("refused") << u"refused"_s << QString() << 0;
        QTest::newRow("count mismatch")
            << u"mismatch"_s << u"annunciati 4 record, ricevuti 3"_s << 0;
        QTest::newRow("silent from its answer on")
            << u"silent"_s << u"tempo limite: elenco scartato, il file resta sul terminale"_s << 0;
        QTest::newRow("silent after the deletion was asked")
            << u"silent after DEL"_s << u"tempo limite: elenco conservato, cancellazione non"_s
            << 2;
        QTest::newRow("dropped after the deletion was asked")
            << u"dropped after DEL"_s << u"collegamento caduto: elenco conservato"_s << 2;
        QTest::newRow("silent after the deletion")
            << u"silent after deleted"_s << u"elenco conservato e file cancellato"_s << 2;
    }

    // Terminal 1 lists 09:00, a record a character short (set aside once its listing is kept)
    // and 08:00 (a silent one nothing after its answer), then fails as the row says or not at all;
    // after a kept listing, the next pass lists what its file still holds and 10:00, and terminal 2
    // the same employee at 07:00. Meanwhile terminal 2 answers an earlier question (ignored: one
    // transfer at a time) and terminal 3 reads an unknown badge (checked, no display text).
    void passTellsWhatItKeptAndPostsInOrder()
    {
        QFETCH(QString, fault);
        QFETCH(QString, logged);
        QFETCH(int, kept);
        const bool refused = fault == u"refused"_s;
        const bool silent = fault == u"silent"_s;
        const bool mismatch = fault == u"mismatch"_s;
        const bool deleted = fault.isEmpty() || fault.contains(u"deleted"_s);
        const QStringList listed{record(u"0900"_s), record(u"0830"_s).remove(5, 1),
                                 record(u"0800"_s)};
        startWithPort();
        DownloadCycle& cycle = m_fixture->server->download();
        QVERIFY(cycle.scheduler().isActive()); // since start-up
        cycle.Timer3Tick();
        m_fixture->say(1, HasFile);
        QVERIFY(!cycle.scheduler().isActive()); // off while the terminal transfers
        if (!silent)
            m_fixture->say(1, u"CONSIDLE"_s);
        m_fixture->say(2, HasFile);
        m_fixture->say(3, TestRecord{.badge = u"0099"_s}.text());
        QTRY_COMPARE(this->logged(u" [3]"_s), 1);
        QCOMPARE(this->logged(u"durante il trasferimento del terminale 1"_s), 1);
        if (refused)
            m_fixture->say(1, u"TYPE PASSAGGI ?*"_s);
        for (const QString& r : refused || silent ? QStringList() : listed)
            m_fixture->say(1, r);
        if (mismatch || kept > 0)
            m_fixture->say(1, QChar(4) + QString::number(listed.size() + (mismatch ? 1 : 0)));
        if (kept > 0) {
            QTRY_COMPARE(sent(1).last(), u"DEL PASSAGGI"_s);
            // The records are in the spool before the terminal is told to delete them.
            QCOMPARE(unfinished(), 2);
        }
        if (deleted)
            m_fixture->say(1, u"DEL PASSAGGI"_s);
        if (fault.startsWith(u"dropped"_s))
            m_fixture->control.raiseStateChange(0, u"127.0.0.11"_s, 1);
        // The terminal is unlocked (a silent one by the time-out); the scheduler goes on.
        if (refused || mismatch || fault.isEmpty()) {
            QTRY_VERIFY(sent(1).contains(u"OFFLINE"_s));
            m_fixture->say(1, u"OFFLINE"_s);
        }
        QTRY_VERIFY(!m_fixture->registry.InScarico);
        QVERIFY(sent(1).contains(u"OFFLINE"_s));
        QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(2000));
        QVERIFY(sent(2).isEmpty());
        QCOMPARE(unfinished(), kept);
        QCOMPARE(file(u"Scarico.txt"_s).size(), kept);
        const QStringList told = m_fixture->logLines().filter(u"Scarico terminale 1: "_s);
        QCOMPARE(told.size(), (logged.isEmpty() ? 0 : 1) + (kept > 0 ? 1 : 0));
        QVERIFY(told.join(QString()).contains(logged));
        QCOMPARE(file(u"ScaricoScartati.txt"_s).size(), kept > 0 ? 1 : 0);
        // The deletion was recorded without a fault; nothing was held from an earlier listing.
        QCOMPARE(m_fixture->logLines().filter(QRegularExpression(u"Scarico.db|già raccolti"_s)),
                 QStringList());

        endPass(1, HasFile); // the pass's first terminal again ends it, whatever it answers
        const auto line = [](const QString& hhmm) {
            return u"1,\"127.0.0.11\",\""_s + record(hhmm) + u"\""_s;
        };
        QCOMPARE(file(u"ScaricoOK_OLD.txt"_s), // in time order
                 (kept > 0 ? QStringList{line(u"0800"_s), line(u"0900"_s)} : QStringList()));
        QCOMPARE(hours(), (kept > 0 ? QStringList{u"8"_s, u"9"_s} : QStringList()));
        QVERIFY(file(u"ScaricoOK.txt"_s).isEmpty() && file(u"Scarico.txt"_s).isEmpty());
        QCOMPARE(unfinished(), 0);
        QCOMPARE(cycle.scheduler().interval(), m_fixture->wait.scaled(60000));
        // No display text, no confirmation.
        QCOMPARE(m_fixture->control.sends().size(), sent(1).size());
        if (kept == 0)
            return;
        // A file not deleted begins with the records kept, which are not collected again.
        cycle.Timer3Tick();
        m_fixture->registry.addPort(2, u"127.0.0.12"_s);
        transfer(1, (deleted ? QStringList() : listed) + QStringList{record(u"1000"_s)});
        transfer(2, {record(u"0700"_s)});
        endPass(1);
        QCOMPARE(hours(), (QStringList{u"8"_s, u"9"_s, u"7"_s, u"10"_s})); // by time, not terminal
        QCOMPARE(this->logged(u"3 record già raccolti"_s), deleted ? 0 : 1);
        QCOMPARE(file(u"ScaricoScartati.txt"_s).size(), 1);
    }

    void earlierVersionFilesArePostedOnce_data()
    {
        QTest::addColumn<QByteArray>("collected"); // Scarico.txt
        QTest::addColumn<QByteArray>("ordered");   // ScaricoOK.txt
        QTest::addColumn<QByteArray>("progress");  // ScaricoOK.pos
        QTest::addColumn<int>("headerMark");       // the embedded database's header
        QTest::addColumn<QStringList>("hours");
        const QByteArray three = lines(3);
        const QByteArray fourth = lines(4).mid(three.size());
        const QStringList all{u"6"_s, u"7"_s, u"8"_s};
        QTest::newRow("cut while posting")
            << QByteArray() << three << QByteArrayLiteral("2 7") << 0 << QStringList{u"8"_s};
        QTest::newRow("cut before Scarico.txt was emptied")
            << three << three << QByteArrayLiteral("0 7") << 0 << all;
        QTest::newRow("cut between the rename and the new ScaricoOK.txt")
            << fourth << QByteArray() << QByteArrayLiteral("3 7") << 0 << QStringList{u"9"_s};
        QTest::newRow("committed with its mark in the header")
            << QByteArray() << three << QByteArrayLiteral("1 7") << 7000002 << QStringList{u"8"_s};
    }

    // A site upgrading in the middle of a pass: what the earlier version's files
    // hold that was never posted is posted once, and the site database's header
    // (another program's schema version) is left alone.
    void earlierVersionFilesArePostedOnce()
    {
        QFETCH(QByteArray, collected);
        QFETCH(QByteArray, ordered);
        QFETCH(QByteArray, progress);
        QFETCH(int, headerMark);
        QFETCH(QStringList, hours);
        TestDatabase& database = *m_fixture->database;
        if (headerMark > 0 && database.backend() != u"sqlite"_s)
            QSKIP("only the embedded database kept a mark in its header");
        if (headerMark > 0)
            QVERIFY(database.exec(u"PRAGMA user_version = %1"_s.arg(headerMark)));
        m_fixture->workspace.write(u"Scarico.txt"_s, collected);
        m_fixture->workspace.write(u"ScaricoOK.txt"_s, ordered);
        m_fixture->workspace.write(u"ScaricoOK.pos"_s, progress);
        QVERIFY(m_fixture->start());
        QTRY_VERIFY(!m_fixture->server->download().isPosting());
        QCOMPARE(this->hours(), hours);
        QCOMPARE(file(u"ScaricoOK_OLD.txt"_s).size(), hours.size());
        QVERIFY(!m_fixture->workspace.exists(u"ScaricoOK.pos"_s));
        QVERIFY(file(u"Scarico.txt"_s).isEmpty());
        QCOMPARE(logged(u"Errore #53"_s), 0);
        QVERIFY(m_fixture->server->download().scheduler().isActive());
        if (headerMark > 0)
            QCOMPARE(database.scalar(u"PRAGMA user_version"_s).toInt(), headerMark);
    }

    // The database goes away in the middle of a posting: nothing is counted as
    // done; the posting is held (one line for the operator) and resumes by
    // itself at a later tick, once the database is back.
    void outageDuringPostingHoldsThePass()
    {
        m_fixture->workspace.write(u"Scarico.txt"_s, lines(600));
        QVERIFY(m_fixture->start());
        DownloadCycle& cycle = m_fixture->server->download();
        while (cycle.isPosting() && unfinished() == 600)
            QCoreApplication::processEvents();
        QVERIFY2(cycle.isPosting(), "the outage must come in the middle of the posting");
        QVERIFY(m_fixture->database->setReachable(false));
        QTRY_VERIFY(!cycle.isPosting());
        const qint64 waiting = unfinished();
        QVERIFY(waiting > 0 && waiting < 600);
        QTest::qWait(m_fixture->wait.scaled(60000) * 3); // three ticks without the database
        QCOMPARE(unfinished(), waiting);
        QCOMPARE(logged(u"registrazione sospesa"_s), 1);
        QCOMPARE(logged(u"Allarme: registrazione degli scarichi sospesa: Errore #"_s), 1);

        QVERIFY(m_fixture->database->setReachable(true));
        QTRY_VERIFY_WITH_TIMEOUT(unfinished() == 0 && !cycle.isPosting(), 30000);
        QCOMPARE(hours().size(), 600);
        QCOMPARE(m_fixture->database->rows(u"SELECT COUNT(*) FROM ParvixScarico"_s),
                 QStringList{u"600"_s});
        QCOMPARE(logged(u"registrazione ripresa"_s), 1);
        QCOMPARE(logged(u"Fine allarme: registrazione degli scarichi sospesa (durata"_s), 1);
        QCOMPARE(file(u"Backup/Backup.txt"_s).size(), 600);
    }

    // A statement fails in the middle of a line (the work sheet it opens is
    // refused): the line leaves nothing behind on any backend, is listed for
    // the operator, and is posted when asked once the cause is gone.
    void failedLineIsRolledBackKeptAndPostedAgain()
    {
        TestDatabase& database = *m_fixture->database;
        const bool postgres = database.isPostgreSQL();
        QVERIFY(database.exec(
            postgres
                ? u"ALTER TABLE SchedeLav ADD CONSTRAINT NoPosition7 CHECK (PosizLav <> 7)"_s
                : u"CREATE TRIGGER NoPosition7 BEFORE INSERT ON SchedeLav WHEN NEW.PosizLav = 7 "
                  "BEGIN SELECT RAISE(ABORT, 'posizione 7'); END"_s));
        startWithPort();
        const QString refused = record(u"0900"_s, u"0042"_s, u"00"_s, u"00007"_s);
        m_fixture->server->download().Timer3Tick();
        transfer(1, {record(u"0800"_s, u"0042"_s, u"00"_s), refused,
                     record(u"1000"_s, u"0042"_s, u"#B"_s)});
        endPass(1);
        const QString sheets =
            u"SELECT PosizLav, OraInizio, OraFine FROM SchedeLav ORDER BY OraInizio"_s;
        // The 09:00 line closed nothing: the 08:00 sheet runs to 10:00.
        QCOMPARE(database.rows(sheets),
                 QStringList{u"1|1900-01-01 08:00:00|1900-01-01 10:00:00"_s});
        const QStringList unposted = file(u"ScaricoNonRegistrati.txt"_s);
        QCOMPARE(unposted.size(), 1);
        QVERIFY(
            unposted.first().startsWith(u"1,\"127.0.0.11\",\""_s + refused + u"\",\"Errore #"_s));
        QCOMPARE(logged(u"1 non registrati (ScaricoNonRegistrati.txt)"_s), 1);
        QCOMPARE(logged(u"Allarme: scarico con 1 transiti non registrati, elencati in "_s +
                        QDir::toNativeSeparators(
                            m_fixture->workspace.filePath(u"ScaricoNonRegistrati.txt"_s))),
                 1);

        QVERIFY(database.exec(postgres ? u"ALTER TABLE SchedeLav DROP CONSTRAINT NoPosition7"_s
                                       : u"DROP TRIGGER NoPosition7"_s));
        QSignalSpy posted(&m_fixture->server->download(), &DownloadCycle::passPosted);
        m_fixture->server->download().retryFailed();
        QTRY_COMPARE(posted.size(), 1);
        QCOMPARE(database.rows(sheets).size(), 2);
        QVERIFY(file(u"ScaricoNonRegistrati.txt"_s).isEmpty());
        QCOMPARE(unfinished(), 0);
    }

    void lineInFlightIsSettledByItsMarker_data()
    {
        QTest::addColumn<bool>("markerTable"); // without it, the intent alone is known
        QTest::addColumn<QString>("logged");   // for the operator
        QTest::newRow("no marker table") << false << u"da verificare"_s;
        QTest::newRow("the spool's record lost, the marker kept")
            << true << u"non registrato di nuovo"_s;
    }

    // A line the spool saw about to commit when the server stopped, without the
    // marker table: left to the operator. A power cut may also take the spool's
    // last records: the marker still keeps the line from being posted twice.
    // (A crash at each step with the marker table is the system test's.)
    void lineInFlightIsSettledByItsMarker()
    {
        QFETCH(bool, markerTable);
        QFETCH(QString, logged);
        const CollectedTransit transit{1, u"127.0.0.11"_s, record(u"0800"_s)};
        {
            Spool spool(m_fixture->workspace.filePath(u"Scarico.db"_s));
            bool created = false;
            Error error;
            QVERIFY(spool.open({}, created, error));
            QVERIFY(spool.storeListing(1, {transit}, 0, {transit}, {}, 0, error));
            if (!markerTable)
                QVERIFY(
                    spool.record({{1, Spool::State::Committing, QString(), 0, "journal line\r\n"}},
                                 0, false, error));
            QList<Spool::Line> lines;
            QVERIFY(spool.lines(Spool::State::Pending, 10, lines, error));
            if (markerTable)
                QVERIFY(m_fixture->database->exec(
                    u"INSERT INTO ParvixScarico (Chiave, Registrato) VALUES (?, NULL)"_s,
                    {spool.key(lines.value(0))}));
        }
        if (!markerTable)
            QVERIFY(m_fixture->database->exec(u"DROP TABLE ParvixScarico"_s));
        QVERIFY(m_fixture->start());
        QTRY_VERIFY(!m_fixture->server->download().isPosting());
        QCOMPARE(hours(), QStringList());
        QCOMPARE(file(u"Backup/Backup.txt"_s), QStringList());
        QCOMPARE(this->logged(logged), 1);
        QCOMPARE(this->logged(u"Tabella ParvixScarico assente"_s), markerTable ? 0 : 1);
        QCOMPARE(unfinished(), 0);
    }

    // The journal's folder gone while a pass posts, without the marker table: the
    // lines are posted, and their journal lines written once the posting is asked
    // again; nothing is left in doubt for the operator.
    void journalLinesUnwrittenAreWrittenLater()
    {
        QVERIFY(m_fixture->database->exec(u"DROP TABLE ParvixScarico"_s));
        m_fixture->workspace.write(u"Scarico.txt"_s, lines(2));
        m_fixture->workspace.remove(u"Backup"_s);
        QVERIFY(m_fixture->start());
        QTRY_VERIFY(!m_fixture->server->download().isPosting());
        QCOMPARE(hours(), (QStringList{u"6"_s, u"7"_s}));
        QCOMPARE(logged(u"Impossibile trovare il percorso"_s), 2);
        QCOMPARE(logged(u"Allarme: cartella di backup non scrivibile"_s), 1);
        QVERIFY(QDir(m_fixture->workspace.path()).mkpath(u"Backup"_s));
        m_fixture->server->download().retryFailed();
        QTRY_COMPARE(file(u"Backup/Backup.txt"_s).size(), 2);
        QCOMPARE(logged(u"da verificare"_s), 0);
        QTRY_COMPARE(logged(u"Fine allarme: cartella di backup"_s), 1);
        QCOMPARE(unfinished(), 0);
        QCOMPARE(hours().size(), 2);
    }

    // Scarico.db unusable: no terminal is asked for its file and a late directory
    // reply starts nothing; the cycle resumes by itself once the spool can be opened.
    void spoolThatCannotBeOpenedStopsOnlyTheCycle()
    {
        QDir(m_fixture->workspace.path()).mkpath(u"Scarico.db"_s);
        startWithPort();
        DownloadCycle& cycle = m_fixture->server->download();
        cycle.Timer3Tick();
        m_fixture->say(1, HasFile);
        QVERIFY(sent(1).isEmpty());
        QCOMPARE(logged(u"Scarico.db non utilizzabile"_s), 1);
        QCOMPARE(logged(u"Allarme: Scarico.db non scrivibile: Errore #"_s), 1);

        m_fixture->workspace.remove(u"Scarico.db"_s);
        cycle.Timer3Tick();
        QCOMPARE(sent(1), QStringList{u"DIR PASSAGGI"_s});
        QCOMPARE(logged(u"di nuovo utilizzabile"_s), 1);
        QCOMPARE(logged(u"Fine allarme: Scarico.db non scrivibile"_s), 1);
    }

private:
    // Terminal 1 the only port entry, after the connection pass of start-up.
    void startWithPort()
    {
        QVERIFY(m_fixture->start());
        // The connection pass two (scaled) seconds after start-up empties the list.
        QTest::qWait(m_fixture->wait.scaled(2000) * 2);
        m_fixture->registry.addPort(1, u"127.0.0.11"_s);
        m_fixture->control.clearCalls();
    }

    QStringList sent(int terminal) const
    {
        QStringList texts;
        for (const auto& send : m_fixture->control.sends()) {
            if (send.NumTer == terminal && !send.text.startsWith(u"%E"_s))
                texts.append(send.text);
        }
        return texts;
    }

    // A terminal's whole file, answered as a terminal does.
    void transfer(int terminal, const QStringList& records)
    {
        QTRY_VERIFY(sent(terminal).endsWith(u"DIR PASSAGGI"_s));
        m_fixture->say(terminal, HasFile);
        QCOMPARE(sent(terminal).last(), u"CONSIDLE"_s);
        m_fixture->say(terminal, u"CONSIDLE"_s);
        QCOMPARE(sent(terminal).last(), u"TYPE PASSAGGI"_s);
        for (const QString& r : records)
            m_fixture->say(terminal, r);
        m_fixture->say(terminal, QChar(4) + QString::number(records.size()));
        QTRY_COMPARE(sent(terminal).last(), u"DEL PASSAGGI"_s);
        m_fixture->say(terminal, u"DEL PASSAGGI"_s);
        QCOMPARE(sent(terminal).last(), u"OFFLINE"_s);
        m_fixture->say(terminal, u"OFFLINE"_s);
    }

    // The scheduler back at `terminal`, which ends the pass.
    void endPass(int terminal, const QString& answer = NoFile)
    {
        QSignalSpy posted(&m_fixture->server->download(), &DownloadCycle::passPosted);
        QTRY_VERIFY(m_fixture->server->download().scheduler().isActive());
        m_fixture->server->download().Timer3Tick();
        m_fixture->say(terminal, answer);
        QTRY_COMPARE(posted.size(), 1);
    }

    QStringList file(const QString& name) const { return m_fixture->workspace.lines(name); }
    QStringList hours()
    {
        return m_fixture->database->rows(u"SELECT Ora FROM Presenze ORDER BY Progr"_s);
    }
    qint64 unfinished() const
    {
        return spoolLines(m_fixture->workspace.path(), u"State IN (0, 1, 2)"_s);
    }
    int logged(const QString& text) const { return m_fixture->logLines().filter(text).size(); }

    std::unique_ptr<ServerFixture> m_fixture;
};

QTEST_GUILESS_MAIN(TestDownloadCycle)
#include "tst_downloadcycle.moc"
