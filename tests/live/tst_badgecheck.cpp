#include "app/recordwriter.h"
#include "live/badgecheck.h"
#include "live/databasesession.h"
#include "support/serverfixture.h"
#include "support/testdatabase.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// 07:30 on 06/12/26 (the attendance day), badge, function, order digits
// (year 2, branch 1, number 5, progressive 1), position 3.
QString record(const QString& badge, const QString& function, const QString& order = u"000000000"_s)
{
    return QChar(2) + u"073000061226"_s + badge + function + u"00003"_s + order + QChar(3);
}

} // namespace

class TestBadgeCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void outcomes_data();
    void outcomes();
    void attendanceCountGivesDirection_data();
    void attendanceCountGivesDirection();
    void verdictAtOnceDisplayOneSecondLaterToItsTerminal();
    void transferSuppressesOnlyTheDisplayText();
    void contextStartsEmptyForEveryTransit();
    void unreadableOrderNumberIsAnError();
    void employeeKeyIsNeverNarrowed_data();
    void employeeKeyIsNeverNarrowed();
    void sessionIsTracedAndItsConnectionKept();
    void replacedDatabaseFileIsOpenedAnew();
    void oneResultAtATime();
    void missingTableCostsOneLinePerTransit();
    void unreachableDatabaseCostsTwoLinesPerTransit();
    void databaseDownAndBackAgain();

private:
    // Checks a read and tells whether it was accepted (and with what context).
    bool check(const QString& record, TransitContext* accepted = nullptr, qint16 terminal = 1);
    bool read(const QString& record, TransitContext* accepted = nullptr, qint16 terminal = 1);
    QStringList displayed() const;
    QStringList traces() const;
    QStringList errorLines() const;

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<TestDatabase> m_database;
};

void TestBadgeCheck::init()
{
    // No terminals configured: no greetings among the sends; the fake control
    // delivers reads all the same.
    m_fixture = std::make_unique<ServerFixture>();
    m_database = std::make_unique<TestDatabase>(m_fixture->workspace.path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
    QVERIFY(m_database->exec(
        u"INSERT INTO Ordini (Anno, Filiale, Numero, Progressivo, Chiuso, Targa) VALUES (24, 1, 15, 0, 1, NULL)"_s));
    m_fixture->workspace.write(u"Set/Connection.set"_s,
                               RecordWriter::quotedRecord({m_database->connectionString()}));
    QVERIFY(m_fixture->start());
    m_fixture->control.clearCalls();
    m_fixture->switches.TraceON = true;
}

void TestBadgeCheck::cleanup()
{
    m_fixture.reset();
    m_database.reset();
}

// The check of one read inside its own session, as the live road runs it.
bool TestBadgeCheck::check(const QString& record, TransitContext* accepted, qint16 terminal)
{
    ParvixServer& server = *m_fixture->server;
    const TransitRead transit{terminal, u"127.0.0.%1"_s.arg(10 + terminal), record,
                              record.mid(17, 2)};
    TransitContext context;
    server.session().Open_DB();
    server.check().Controlla(transit, context);
    server.session().Close_DB();
    if (accepted)
        *accepted = context;
    return m_fixture->registry.BadgeErrato == 0;
}

// The same, waiting for a rejection's answer, which comes one (scaled) second later.
bool TestBadgeCheck::read(const QString& record, TransitContext* accepted, qint16 terminal)
{
    const qsizetype answered = m_fixture->control.sends().size() + errorLines().size() +
                               m_fixture->logLines().filter(u" [3]"_s).size();
    const bool wasAccepted = check(record, accepted, terminal);
    QDeadlineTimer deadline(2000);
    while (!wasAccepted && !deadline.hasExpired() &&
           m_fixture->control.sends().size() + errorLines().size() +
                   m_fixture->logLines().filter(u" [3]"_s).size() ==
               answered)
        QTest::qWait(1);
    return wasAccepted;
}

QStringList TestBadgeCheck::displayed() const
{
    QStringList texts;
    for (const auto& send : m_fixture->control.sends())
        texts.append(send.text);
    return texts;
}

// The last word of every line but the received messages: trace points and
// the check's own lines ("Badge Errato" gives "Errato").
QStringList TestBadgeCheck::traces() const
{
    QStringList lines;
    for (const QString& line : m_fixture->logLines()) {
        if (!line.contains(u" - Msg: "_s))
            lines.append(line.section(u' ', -1));
    }
    return lines;
}

QStringList TestBadgeCheck::errorLines() const
{
    QStringList lines;
    for (const QString& line : m_fixture->logLines()) {
        if (line.contains(u"Errore #"_s))
            lines.append(line);
    }
    return lines;
}

void TestBadgeCheck::outcomes_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("modoTarga");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QStringList>("traced"); // trace points inside the session
    QTest::addColumn<QStringList>("logged"); // lines written with the display text

    const QStringList found{u"SpY:201"_s, u"SpY:202"_s, u"SpY:203"_s};
    const QStringList looked{u"SpY:201"_s, u"SpY:202"_s};
    QTest::newRow("badge unknown")
        << record(u"0099"_s, u"#C"_s) << u"TARGA"_s << false << u"KBadge Errato"_s << QStringList()
        << QStringList{u"Errato"_s, u"[3]"_s};
    QTest::newRow("badge not numeric")
        << record(u"A042"_s, u"#C"_s) << u"TARGA"_s << false << u"KBadge Errato"_s << QStringList()
        << QStringList{u"Errato"_s, u"[3]"_s};
    QTest::newRow("attendance, badge known") << record(u"0042"_s, u"#C"_s) << u"TARGA"_s << true
                                             << QString() << QStringList() << QStringList();
    QTest::newRow("missing order, start of work")
        << record(u"0042"_s, u"#A"_s, u"241001230"_s) << u"TARGA"_s << true << QString() << looked
        << QStringList();
    QTest::newRow("missing order, other function")
        << record(u"0042"_s, u"00"_s, u"241001230"_s) << u"TARGA"_s << false
        << u"KOrdine n. 123|      Errato"_s << looked + QStringList{u"SpY:205"_s}
        << QStringList{u"[1]"_s};
    QTest::newRow("order 0, end of work")
        << record(u"0042"_s, u"#B"_s) << u"TARGA"_s << true << QString() << looked << QStringList();
    QTest::newRow("order 0, other function")
        << record(u"0042"_s, u"00"_s) << u"TARGA"_s << false << u"KOrdine n. 0|      Errato"_s
        << looked << QStringList{u"[1]"_s};
    QTest::newRow("closed order, number shown")
        << record(u"0042"_s, u"00"_s, u"241000130"_s) << u"Targa"_s << false
        << u"KOrdine n. 13|      Chiuso"_s << found + QStringList{u"SpY:204"_s}
        << QStringList{u"[2]"_s};
    QTest::newRow("closed order, plate shown")
        << record(u"0042"_s, u"00"_s, u"241000130"_s) << u"X"_s << false
        << u"KOrdine AB123CDXY|      Chiuso"_s << found + QStringList{u"SpY:204"_s}
        << QStringList{u"[2]"_s};
    QTest::newRow("finish, Collaudo Null")
        << record(u"0043"_s, u"#D"_s, u"241000120"_s) << u"TARGA"_s << false
        << u"K    Tessera    |  NON ABILITATA"_s << found << QStringList{u"[2]"_s};
    QTest::newRow("finish, Collaudo N")
        << record(u"0044"_s, u"#D"_s, u"241000120"_s) << u"TARGA"_s << false
        << u"K    Tessera    |  NON ABILITATA"_s << found << QStringList{u"[2]"_s};
    QTest::newRow("finish, Collaudo n") << record(u"0045"_s, u"#D"_s, u"241000120"_s) << u"TARGA"_s
                                        << true << QString() << found << QStringList();
    QTest::newRow("open order, Chiuso Null")
        << record(u"0042"_s, u"00"_s, u"241000140"_s) << u"TARGA"_s << true << QString() << found
        << QStringList();
    QTest::newRow("branch 0 is Filiale.set")
        << record(u"0042"_s, u"00"_s, u"240000120"_s) << u"TARGA"_s << true << QString() << found
        << QStringList();
}

void TestBadgeCheck::outcomes()
{
    QFETCH(QString, record);
    QFETCH(QString, modoTarga);
    QFETCH(bool, accepted);
    QFETCH(QString, display);
    QFETCH(QStringList, traced);
    QFETCH(QStringList, logged);
    QStringList ore(19, QString());
    ore[18] = modoTarga;
    m_fixture->workspace.write(u"Ore.dat"_s, RecordWriter::quotedRecord(ore));
    QVERIFY(m_fixture->start());
    m_fixture->control.clearCalls();

    QCOMPARE(read(record), accepted);
    QCOMPARE(displayed(),
             display.isEmpty() ? QStringList() : QStringList{BadgeCheck::displayText(display)});
    if (!display.isEmpty())
        QCOMPARE(m_fixture->control.sends().first().IPTer, u"127.0.0.11"_s);
    QCOMPARE(traces(), QStringList{u"SpY:401"_s} + traced + QStringList{u"SpY:501"_s} + logged);
}

void TestBadgeCheck::attendanceCountGivesDirection_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("direction");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 2;
    QTest::newRow("two") << 2 << 1;
}

void TestBadgeCheck::attendanceCountGivesDirection()
{
    QFETCH(int, records);
    QFETCH(int, direction);
    const QDate day(2026, 12, 6);
    for (int i = 0; i < records; ++i)
        QVERIFY(m_database->exec(
            u"INSERT INTO Presenze (Dipendente, Data, DataComp) VALUES (1, ?, ?)"_s,
            {m_database->date(day), m_database->date(day)}));
    // Another employee's records and another day's do not count.
    QVERIFY(
        m_database->exec(u"INSERT INTO Presenze (Dipendente, Data, DataComp) VALUES (2, ?, ?)"_s,
                         {m_database->date(day), m_database->date(day)}));
    QVERIFY(
        m_database->exec(u"INSERT INTO Presenze (Dipendente, Data, DataComp) VALUES (1, ?, ?)"_s,
                         {m_database->date(day.addDays(-1)), m_database->date(day.addDays(-1))}));
    TransitContext context;
    QVERIFY(read(record(u"0042"_s, u"#C"_s), &context));
    QCOMPARE(context.StatoPresenza, qint16(direction));
    QCOMPARE(context.NumTessera, qint16(42));
    QCOMPARE(context.DipCorrente, qint16(1));
    QCOMPARE(context.OraTransito, u"07"_s);
    QCOMPARE(context.MinTransito, u"30"_s);
}

void TestBadgeCheck::verdictAtOnceDisplayOneSecondLaterToItsTerminal()
{
    m_fixture->wait = EventWait(0.2); // one second is 200 ms
    QVERIFY(!check(record(u"0099"_s, u"#C"_s)));
    QVERIFY(displayed().isEmpty());
    // Another terminal's accepted read is served during the wait.
    QVERIFY(check(record(u"0042"_s, u"#C"_s), nullptr, 2));
    QVERIFY(displayed().isEmpty());
    QTRY_COMPARE(displayed(), QStringList{BadgeCheck::displayText(u"KBadge Errato"_s)});
    QCOMPARE(m_fixture->control.sends().first().NumTer, qint16(1));
}

void TestBadgeCheck::transferSuppressesOnlyTheDisplayText()
{
    m_fixture->registry.InScarico = true;
    m_fixture->registry.TermInScarico = 2;
    QVERIFY(!read(record(u"0099"_s, u"#C"_s)));
    QCOMPARE(m_fixture->registry.BadgeErrato, qint16(1));
    QVERIFY(displayed().isEmpty());
    QTRY_COMPARE(traces().mid(2), (QStringList{u"Errato"_s, u"[3]"_s}));
}

void TestBadgeCheck::contextStartsEmptyForEveryTransit()
{
    QStringList ore(19, QString());
    ore[18] = u"X"_s;
    m_fixture->workspace.write(u"Ore.dat"_s, RecordWriter::quotedRecord(ore));
    QVERIFY(m_fixture->start());
    m_fixture->control.clearCalls();
    QVERIFY(!read(record(u"0042"_s, u"00"_s, u"241000130"_s))); // closed, plate AB123CDXYZ
    QVERIFY(!read(record(u"0042"_s, u"00"_s, u"241000150"_s))); // closed, no plate
    QCOMPARE(displayed().last(), BadgeCheck::displayText(u"KOrdine |      Chiuso"_s));
}

void TestBadgeCheck::unreadableOrderNumberIsAnError()
{
    QVERIFY(!read(record(u"0042"_s, u"00"_s, u"24112 340"_s)));
    QCOMPARE(m_fixture->registry.BadgeErrato, qint16(1));
    QVERIFY(displayed().isEmpty());
    QCOMPARE(errorLines().size(), 1);
    QVERIFY(errorLines()[0].endsWith(u" Errore #13 verificato: Tipo non corrispondente"_s));
}

void TestBadgeCheck::sessionIsTracedAndItsConnectionKept()
{
    QVERIFY(read(record(u"0042"_s, u"#C"_s)));
    QCOMPARE(traces(), (QStringList{u"SpY:401"_s, u"SpY:501"_s}));
    // The connection waits for the next transit...
    QVERIFY(m_fixture->server->session().isOpen());
    QVERIFY(read(record(u"0042"_s, u"#C"_s)));
    // ... unless a statement failed on it.
    QVERIFY(m_database->exec(u"DROP TABLE Dipendenti"_s));
    QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    QVERIFY(!m_fixture->server->session().isOpen());
    QVERIFY(!QSqlDatabase::contains(u"parvix-transit"_s));
}

// The kept connection would go on writing into a file no longer there.
void TestBadgeCheck::replacedDatabaseFileIsOpenedAnew()
{
    if (m_database->backend() != u"sqlite"_s)
        QSKIP("the embedded database file only");
    QVERIFY(read(record(u"0042"_s, u"#C"_s)));
    QVERIFY(QFile::rename(m_fixture->workspace.filePath(u"parvix.db"_s),
                          m_fixture->workspace.filePath(u"moved.db"_s)));
    QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    QCOMPARE(errorLines().size(), 2);
    QVERIFY2(errorLines()[0].contains(u" Op DB:Errore #"_s), qPrintable(errorLines()[0]));
}

// SQL Server takes no statement while another result of the connection is
// open; the tests hold every backend to that rule. A result finished, even
// one read only in part, holds neither the connection nor the writes after it.
void TestBadgeCheck::employeeKeyIsNeverNarrowed_data()
{
    QTest::addColumn<QVariant>("key");
    QTest::addColumn<QString>("logged");
    QTest::newRow("above 16 bits") << QVariant(40000) << u"Errore #6 verificato: Overflow"_s;
    QTest::newRow("below 16 bits") << QVariant(-40000) << u"Errore #6 verificato: Overflow"_s;
    QTest::newRow("Null") << QVariant() << u"Errore #94 verificato: "_s;
}

// A site whose employee key is wider than the terminal's 16 bits, or left
// Null: the read fails with its error, never posted under another key.
void TestBadgeCheck::employeeKeyIsNeverNarrowed()
{
    QFETCH(QVariant, key);
    QFETCH(QString, logged);
    QVERIFY(m_database->exec(u"DROP TABLE Dipendenti"_s));
    QVERIFY(m_database->exec(u"CREATE TABLE Dipendenti (NumOrdine integer, NumBadge integer, "
                             "Collaudo varchar(1), Reparto varchar(10))"_s));
    QVERIFY(m_database->exec(u"INSERT INTO Dipendenti (NumOrdine, NumBadge) VALUES (?, 50)"_s,
                             {key.isNull() ? QVariant(QMetaType::fromType<int>()) : key}));
    QVERIFY(!check(record(u"0050"_s, u"#C"_s)));
    QCOMPARE(errorLines().size(), 1);
    QVERIFY2(errorLines().first().contains(logged), qPrintable(errorLines().first()));
}

void TestBadgeCheck::oneResultAtATime()
{
    DatabaseSession& session = m_fixture->server->session();
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
    QVERIFY(session.run(insert, u"INSERT INTO Presenze (Dipendente, Ora) VALUES (?, ?)"_s, {7, 8},
                        error));
    // Another connection sees the row while the session is still open.
    QCOMPARE(m_database->rows(u"SELECT Ora FROM Presenze WHERE Dipendente = 7"_s),
             QStringList{u"8"_s});
    session.Close_DB();
}

void TestBadgeCheck::missingTableCostsOneLinePerTransit()
{
    QVERIFY(m_database->exec(u"DROP TABLE Dipendenti"_s));
    for (int i = 0; i < 2; ++i)
        QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    const QStringList errors = errorLines();
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors[0].contains(u" verificato: "_s) &&
                 errors[0].contains(u"ipendenti"_s, Qt::CaseInsensitive),
             qPrintable(errors[0]));
    QVERIFY(displayed().isEmpty());
}

void TestBadgeCheck::unreachableDatabaseCostsTwoLinesPerTransit()
{
    const QString unreachable =
        m_database->isPostgreSQL()
            ? u"Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=parvix;Password=parvix"_s
            : u"Provider=SQLite;Data Source=missing.db"_s;
    m_fixture->workspace.write(u"Set/Connection.set"_s, RecordWriter::quotedRecord({unreachable}));
    QVERIFY(m_fixture->start());
    QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    const QStringList lines = errorLines();
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].contains(u" Op DB:Errore #"_s), qPrintable(lines[0]));
    QVERIFY(lines[1].endsWith(
        u" Errore #3704 verificato: Operazione non consentita se l'oggetto \u00e8 chiuso"_s));
    QVERIFY(!m_fixture->workspace.exists(u"missing.db"_s));
}

void TestBadgeCheck::databaseDownAndBackAgain()
{
    if (!m_database->isPostgreSQL())
        QSKIP("stopping the server needs the PostgreSQL test cluster");
    const QString script = QString::fromLatin1(PARVIX_PG_CLUSTER);
    QCOMPARE(QProcess::execute(script, {u"pause"_s}), 0);
    const bool acceptedWhileDown = read(record(u"0042"_s, u"#C"_s));
    QCOMPARE(QProcess::execute(script, {u"resume"_s}), 0);
    QVERIFY(!acceptedWhileDown);
    QCOMPARE(errorLines().size(), 2);
    QVERIFY(errorLines()[0].contains(u"Op DB:Errore #"_s));
    // A database found unreachable is left alone for a few seconds, then tried again.
    QVERIFY(!read(record(u"0042"_s, u"#C"_s)));
    QCOMPARE(errorLines().size(), 4);
    QTest::qWait(ParvixServer::RetryInterval);
    QVERIFY(read(record(u"0042"_s, u"#C"_s)));
}

QTEST_GUILESS_MAIN(TestBadgeCheck)
#include "tst_badgecheck.moc"
