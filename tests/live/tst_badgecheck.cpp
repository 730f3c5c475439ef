#include "support/livefixture.h"
#include "support/testrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString record(const QString& badge, const QString& function, const QString& order = u"000000000"_s)
{
    return TestRecord{.badge = badge, .function = function, .order = order}.text();
}

} // namespace

// The badge check of live reads and the confirmation of accepted ones, on the
// backend PARVIX_TEST_BACKEND names.
class TestBadgeCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<LiveFixture>();
        m_fixture->switches.TraceON = true;
        QVERIFY(m_fixture->useDatabase());
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("modoTarga");
        QTest::addColumn<QString>("display");    // empty: accepted
        QTest::addColumn<QStringList>("traced"); // trace points inside the session
        QTest::addColumn<QStringList>("logged"); // lines written with the display text

        const QStringList found{u"SpY:201"_s, u"SpY:202"_s, u"SpY:203"_s};
        const QStringList looked{u"SpY:201"_s, u"SpY:202"_s};
        const QStringList closed = found + QStringList{u"SpY:204"_s};
        const QString TARGA = u"TARGA"_s;
        QTest::newRow("badge unknown") << record(u"0099"_s, u"#C"_s) << TARGA << u"KBadge Errato"_s
                                       << QStringList() << QStringList{u"Errato"_s, u"[3]"_s};
        QTest::newRow("missing order, start of work")
            << record(u"0042"_s, u"#A"_s, u"241001230"_s) << TARGA << QString() << looked
            << QStringList();
        QTest::newRow("missing order, other function")
            << record(u"0042"_s, u"00"_s, u"241001230"_s) << TARGA
            << u"KOrdine n. 123|      Errato"_s << looked + QStringList{u"SpY:205"_s}
            << QStringList{u"[1]"_s};
        QTest::newRow("order 0, end of work")
            << record(u"0042"_s, u"#B"_s) << TARGA << QString() << looked << QStringList();
        QTest::newRow("order 0, other function")
            << record(u"0042"_s, u"00"_s) << TARGA << u"KOrdine n. 0|      Errato"_s << looked
            << QStringList{u"[1]"_s};
        QTest::newRow("closed order, number shown")
            << record(u"0042"_s, u"00"_s, u"241000130"_s) << u"Targa"_s
            << u"KOrdine n. 13|      Chiuso"_s << closed << QStringList{u"[2]"_s};
        QTest::newRow("closed order, plate shown")
            << record(u"0042"_s, u"00"_s, u"241000130"_s) << u"X"_s
            << u"KOrdine AB123CDXY|      Chiuso"_s << closed << QStringList{u"[2]"_s};
        QTest::newRow("finish, Collaudo Null")
            << record(u"0043"_s, u"#D"_s, u"241000120"_s) << TARGA
            << u"K    Tessera    |  NON ABILITATA"_s << found << QStringList{u"[2]"_s};
        QTest::newRow("finish, Collaudo n") << record(u"0045"_s, u"#D"_s, u"241000120"_s) << TARGA
                                            << QString() << found << QStringList();
        QTest::newRow("branch 0 is Filiale.set") << record(u"0042"_s, u"00"_s, u"240000120"_s)
                                                 << TARGA << QString() << found << QStringList();
    }

    void outcomes()
    {
        QFETCH(QString, record);
        QFETCH(QString, modoTarga);
        QFETCH(QString, display);
        QFETCH(QStringList, traced);
        QFETCH(QStringList, logged);
        m_fixture->settings.ModoTarga = modoTarga;
        QCOMPARE(check(record), display.isEmpty());
        QTRY_COMPARE(m_fixture->sent(), display.isEmpty()
                                            ? QStringList()
                                            : QStringList{BadgeCheck::displayText(display)});
        QTRY_COMPARE(traces(),
                     QStringList{u"SpY:401"_s} + traced + QStringList{u"SpY:501"_s} + logged);
        // The connection waits for the next transit, which takes it as it is; the
        // embedded database keeps a write-ahead log.
        DatabaseSession& session = m_fixture->session;
        const quint64 serial = session.connectionSerial();
        QVERIFY(session.isOpen());
        check(record);
        QCOMPARE(session.connectionSerial(), serial);
        if (m_fixture->database->backend() == u"sqlite"_s)
            QVERIFY(m_fixture->workspace.exists(u"parvix.db-wal"_s));
    }

    // The verdict is at once; the display text one (scaled) second later, on
    // the read's own terminal, and not while a file is transferred.
    void rejectionIsAnsweredLaterOnItsOwnTerminal()
    {
        m_fixture->wait = EventWait(0.2);
        QVERIFY(!check(record(u"0099"_s, u"#C"_s)));
        QVERIFY(check(record(u"0042"_s, u"#C"_s), 2)); // served during the wait
        QVERIFY(m_fixture->sent().isEmpty());
        QTRY_COMPARE(m_fixture->sent(), QStringList{BadgeCheck::displayText(u"KBadge Errato"_s)});
        QCOMPARE(m_fixture->control.sends().first().NumTer, qint16(1));

        m_fixture->registry.InScarico = true;
        QVERIFY(!check(record(u"0099"_s, u"#C"_s)));
        QTRY_COMPARE(traces().count(u"[3]"_s), 2);
        QCOMPARE(m_fixture->sent().size(), 1);
    }

    void failuresLogTheirLines_data()
    {
        QTest::addColumn<QStringList>("breakage"); // SQL, "unreachable" or "moved"
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("errors"); // the error lines of two reads hold these
        QTest::addColumn<bool>("kept");          // the connection, for the next transit

        const QString read = record(u"0042"_s, u"#C"_s);
        const QString key =
            u"DROP TABLE Dipendenti|CREATE TABLE Dipendenti (NumOrdine integer, "
            "NumBadge integer, Collaudo varchar(1), Reparto varchar(10))|INSERT INTO "
            "Dipendenti (NumOrdine, NumBadge) VALUES (%1, 50)"_s;
        // A key wider than the terminal's 16 bits, or Null, is never narrowed.
        const auto keyed = [key](const char* name, const QString& value, const QString& error) {
            QTest::newRow(name) << key.arg(value).split(u'|') << record(u"0050"_s, u"#C"_s)
                                << QStringList(2, u"Errore #"_s + error) << true;
        };
        keyed("employee key above 16 bits", u"40000"_s, u"6 verificato: Overflow"_s);
        keyed("employee key below 16 bits", u"-40000"_s, u"6 verificato: Overflow"_s);
        keyed("employee key Null", u"NULL"_s, u"94 verificato: "_s);
        QTest::newRow("order number not a number")
            << QStringList() << record(u"0042"_s, u"00"_s, u"24112 340"_s)
            << QStringList(2, u" Errore #13 verificato: Tipo non corrispondente"_s) << true;
        QTest::newRow("missing table, one line per read")
            << QStringList{u"DROP TABLE Dipendenti"_s} << read
            << QStringList{u" verificato: "_s, u"ipendenti"_s} << false;
        QTest::newRow("unreachable database, two lines per read")
            << QStringList{u"unreachable"_s} << read
            << QStringList{u" Op DB:Errore #"_s,
                           u" Errore #3704 verificato: Operazione non consentita se l'oggetto "
                           u"\u00e8 "
                           "chiuso"_s,
                           u" Op DB:Errore #"_s, u" Errore #3704 verificato: "_s}
            << false;
        // The kept connection would go on writing into a file no longer there.
        QTest::newRow("database file moved")
            << QStringList{u"moved"_s} << read << QStringList{u" Op DB:Errore #"_s, u"Errore #"_s}
            << false;
    }

    void failuresLogTheirLines()
    {
        QFETCH(QStringList, breakage);
        QFETCH(QString, record);
        QFETCH(QStringList, errors);
        QFETCH(bool, kept);
        TestDatabase& database = *m_fixture->database;
        const QString kind = breakage.value(0);
        if (kind == u"moved"_s && database.backend() != u"sqlite"_s)
            QSKIP("the embedded database file only");
        if (kind == u"unreachable"_s)
            m_fixture->useConnection(database.isPostgreSQL()
                                         ? u"Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x"_s
                                         : u"Provider=SQLite;Data Source=missing.db"_s);
        if (kind == u"moved"_s) {
            QVERIFY(check(record));
            QVERIFY(QFile::rename(m_fixture->workspace.filePath(u"parvix.db"_s),
                                  m_fixture->workspace.filePath(u"moved.db"_s)));
        } else if (kind != u"unreachable"_s) {
            for (const QString& statement : breakage)
                QVERIFY2(database.exec(statement), qPrintable(database.error()));
        }
        QVERIFY(!check(record));
        if (kind != u"moved"_s)
            QVERIFY(!check(record));
        const QStringList logged = m_fixture->errorLines();
        QCOMPARE(logged.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i)
            QVERIFY2(logged[i].contains(errors[i], Qt::CaseInsensitive), qPrintable(logged[i]));
        QCOMPARE(m_fixture->registry.BadgeErrato, qint16(1));
        QVERIFY(m_fixture->sent().isEmpty());
        QVERIFY(!m_fixture->workspace.exists(u"missing.db"_s));
        // A failed statement retires the connection, a refused value does not; the
        // moved file's new connection is left registered, unopened.
        QCOMPARE(m_fixture->session.isOpen(), kept);
        QCOMPARE(QSqlDatabase::contains(u"parvix-transit"_s), kept || kind == u"moved"_s);
    }

    // SQL Server takes no statement while another result of the connection is
    // open; the tests hold every backend to that rule. A result finished, even
    // one read only in part, holds neither the connection nor the writes after it.
    void oneResultAtATime()
    {
        DatabaseSession& session = m_fixture->session;
        const QString employees =
            u"SELECT NumOrdine FROM Dipendenti WHERE NumOrdine > ? ORDER BY NumOrdine"_s;
        Error error;
        session.Open_DB();
        SessionQuery outer;
        QVERIFY(session.run(outer, employees, {0}, error));
        QVERIFY(outer.next());
        SessionQuery inner;
        QVERIFY(!session.run(inner, employees, {2}, error));
        QVERIFY2(error.description.startsWith(u"Connessione occupata"_s),
                 qPrintable(error.description));
        outer.finish();
        QVERIFY(session.run(inner, employees, {2}, error));
        QVERIFY(inner.next());
        QCOMPARE(inner.value(u"NumOrdine"_s).toInt(), 3);
        inner.finish();
        SessionQuery insert;
        QVERIFY(session.run(insert, u"INSERT INTO Presenze (Dipendente, Ora) VALUES (?, ?)"_s,
                            {7, 8}, error));
        QCOMPARE(m_fixture->database->rows(u"SELECT Ora FROM Presenze WHERE Dipendente = 7"_s),
                 QStringList{u"8"_s});
        session.Close_DB();
    }

    void confirmationAnswersWithItsText_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("modoTarga");  // "TARGA" in any case shows the order number
        QTest::addColumn<int>("result");         // of the send
        QTest::addColumn<bool>("failed");        // the posting before it
        QTest::addColumn<QStringList>("answer"); // the text sent, then the log
        QTest::newRow("order number") << u"00"_s << u"Targa"_s << 0 << false
                                      << QStringList{u"KTessera n. 7|Ord: 4711 P: 3"_s, u"[0]"_s};
        QTest::newRow("plate, cut to 9") << u"#A"_s << u"X"_s << 0 << false
                                         << QStringList{u"KTessera n. 7|AB123CDXY P:3"_s, u"[0]"_s};
        QTest::newRow("refused send: its reason first")
            << u"#C"_s << u"X"_s << int(NetworkControl::NoLink) << false
            << QStringList{u"KTessera n. 7| Entra ->] 08:05"_s,
                           u"Nessun collegamento con il terminale"_s, u"[1]"_s};
        QTest::newRow("posting failed")
            << u"#D"_s << u"X"_s << 0 << true << QStringList{u"KBadge Errato"_s, u"[3]"_s};
    }

    void confirmationAnswersWithItsText()
    {
        QFETCH(QString, function);
        QFETCH(QString, modoTarga);
        QFETCH(int, result);
        QFETCH(bool, failed);
        QFETCH(QStringList, answer);
        LiveFixture& fixture = *m_fixture;
        fixture.settings.ModoTarga = modoTarga;
        fixture.control.setResult(u"SendText"_s, qint16(result));
        fixture.registry.InScarico = true; // sent also while a terminal's file is transferred
        fixture.registry.BadgeErrato = qint16(failed);
        // Badge 7 entering at 08:05; order 4711, plate AB123CDXYZ, position 3.
        const TransitContext context{7,  0,  {},        u"08"_s, u"05"_s,         1,
                                     {}, {}, u"4711"_s, {},      u"AB123CDXYZ"_s, 3};
        fixture.confirmation.Conferma({4, u"127.0.0.14"_s, QString(), function}, context);
        // The terminal answered is the one addressed last.
        QCOMPARE(u"%1 %2"_s.arg(fixture.registry.NumCorrente).arg(fixture.registry.IPCorrente),
                 u"4 127.0.0.14"_s);
        QCOMPARE(fixture.sent(), QStringList{BadgeCheck::displayText(answer.takeFirst())});
        QCOMPARE(fixture.texts(u"Log/RegistroQZ.txt"_s), answer);
    }

private:
    // The check of one read inside its own session, as the live road runs
    // it; whether it was accepted.
    bool check(const QString& record, qint16 terminal = 1)
    {
        TransitContext context;
        m_fixture->session.Open_DB();
        m_fixture->check.Controlla(
            {terminal, u"127.0.0.%1"_s.arg(10 + terminal), record, record.mid(17, 2)}, context);
        m_fixture->session.Close_DB();
        return m_fixture->registry.BadgeErrato == 0;
    }

    // The last word of every line but the received messages: trace points
    // and the check's own lines ("Badge Errato" gives "Errato").
    QStringList traces() const
    {
        QStringList lines;
        for (const QString& line : m_fixture->logLines()) {
            if (!line.contains(u" - Msg: "_s))
                lines.append(line.section(u' ', -1));
        }
        return lines;
    }

    std::unique_ptr<LiveFixture> m_fixture;
};

QTEST_GUILESS_MAIN(TestBadgeCheck)
#include "tst_badgecheck.moc"
