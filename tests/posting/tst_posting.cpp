#include "app/recordwriter.h"
#include "live/badgecheck.h"
#include "support/serverfixture.h"
#include "support/testdatabase.h"

#include <QDeadlineTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Order123 = u"241001231"_s; // 2024, branch 1, order 123, progressive 1

// A record of 06/12/26 (the test clock's day).
QString record(const QString& hhmm, const QString& function, const QString& position,
               const QString& order, const QString& badge = u"0042"_s,
               const QString& ddmmyy = u"061226"_s)
{
    return QChar(2) + hhmm + u"00"_s + ddmmyy + badge + function +
           position.rightJustified(5, u'0') + order + QChar(3);
}

QString display(const QString& text)
{
    return BadgeCheck::displayText(text);
}

} // namespace

// The posting of accepted live reads, on the backend PARVIX_TEST_BACKEND names.
class TestPosting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void workingDayPostsEveryRow();
    void closingTakesTheEarliestOpenSheet_data();
    void closingTakesTheEarliestOpenSheet();
    void attendanceExitClosesTheOpenSheet();
    void attendanceExitClosesAnyOpenSheet_data();
    void attendanceExitClosesAnyOpenSheet();
    void derivedAttendanceFollowsSwitchesAndCount_data();
    void derivedAttendanceFollowsSwitchesAndCount();
    void missingOrderIsCreated_data();
    void missingOrderIsCreated();
    void orderLineNoteIsCollected();
    void failuresCarryTheirLabel_data();
    void failuresCarryTheirLabel();
    void journalDateAndOtherCodes();
    void everyReadIsAnsweredOnItsOwnTerminal();

private:
    // Starts the server with PresAuto, PresAutoFine and the branch given.
    void start(int presAuto = 1, int presAutoFine = 1, int branch = 1);
    // Sends a live read from terminal 1 and returns what its terminal was shown.
    QString post(const QString& record);
    QStringList sheets();
    QStringList attendance();
    QStringList journal() const;
    QStringList errorLines() const;

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<TestDatabase> m_database;
};

void TestPosting::init()
{
    m_fixture = std::make_unique<ServerFixture>();
    m_database = std::make_unique<TestDatabase>(m_fixture->workspace.path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
    m_fixture->workspace.write(u"Set/Connection.set"_s,
                               RecordWriter::quotedRecord({m_database->connectionString()}));
}

void TestPosting::cleanup()
{
    m_fixture.reset();
    m_database.reset();
}

void TestPosting::start(int presAuto, int presAutoFine, int branch)
{
    m_fixture->workspace.write(u"Set/ParvixIP.set"_s,
                               u"0, %1, %2\r\n"_s.arg(presAuto).arg(presAutoFine).toLatin1());
    m_fixture->workspace.write(u"Set/Filiale.set"_s, QByteArray::number(branch) + "\r\n");
    QVERIFY(m_fixture->start());
    m_fixture->control.clearCalls();
}

QString TestPosting::post(const QString& text)
{
    m_fixture->control.clearCalls();
    m_fixture->control.raiseData(u"127.0.0.11"_s, text, 1);
    // An accepted read is answered at once, a rejection one (scaled) second later.
    QDeadlineTimer deadline(100);
    while (m_fixture->control.sends().isEmpty() && !deadline.hasExpired())
        QTest::qWait(1);
    const auto sends = m_fixture->control.sends();
    return sends.isEmpty() ? QString() : sends.last().text;
}

QStringList TestPosting::sheets()
{
    return m_database->rows(
        u"SELECT Anno, Filiale, Ordine, Progressivo, PosizLav, Dipendente, Data, Terminale, "
        "Causale, OraInizio, OraFine, Totale, InLavoraz, Flag, Note FROM SchedeLav "
        "ORDER BY Dipendente, OraInizio"_s);
}

QStringList TestPosting::attendance()
{
    return m_database->rows(
        u"SELECT Terminale, Dipendente, Data, Causale, Ora, Minuti, Flag, DataComp, OrdComp "
        "FROM Presenze ORDER BY Progr"_s);
}

QStringList TestPosting::journal() const
{
    return m_fixture->workspace.lines(u"Backup/Backup.txt"_s);
}

QStringList TestPosting::errorLines() const
{
    return m_fixture->logLines().filter(u"Errore #"_s);
}

void TestPosting::workingDayPostsEveryRow()
{
    start();
    QVERIFY(m_database->exec(
        u"INSERT INTO TestatePrenotazioni (AnnoOrdine, Filiale, NumOrdine, ProgrOrdine, Stato) "
        "VALUES (24, 1, 123, 1, 1)"_s));
    QVERIFY(m_database->exec(
        u"INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Tipo, Testo1, "
        "Testo2, Testo3, Testo4) VALUES (24, 123, 1, 1, 20, '3', 'Saldatura ', ' telaio', NULL, 'x')"_s));

    QCOMPARE(post(record(u"0800"_s, u"#A"_s, u"10"_s, Order123)),
             display(u"KTessera n. 42|Ord: 123 P: 10"_s));
    QCOMPARE(m_database->rows(u"SELECT Chiuso, Finito, Reparto, Descrizione, CodBarre FROM Ordini "
                              "WHERE Numero = 123"_s),
             QStringList{u"0|0|1| |*241001231*"_s});
    QCOMPARE(post(record(u"1030"_s, u"00"_s, u"20"_s, Order123)),
             display(u"KTessera n. 42|Ord: 123 P: 20"_s));
    QCOMPARE(post(record(u"1200"_s, u"#B"_s, u"0"_s, Order123)),
             display(u"KTessera n. 42|Ord: 123 P: 0"_s));
    QCOMPARE(post(record(u"1300"_s, u"00"_s, u"20"_s, Order123)),
             display(u"KTessera n. 42|Ord: 123 P: 20"_s));
    QCOMPARE(post(record(u"1700"_s, u"#D"_s, u"0"_s, Order123)),
             display(u"KTessera n. 42|Ord: 123 P: 0"_s));

    QCOMPARE(
        sheets(),
        (QStringList{
            u"24|1|123|1|10|1|2026-12-06|1|0|1900-01-01 08:00:00|1900-01-01 10:30:00|150|0|0|-"_s,
            u"24|1|123|1|20|1|2026-12-06|1|0|1900-01-01 10:30:00|1900-01-01 12:00:00|90|0|3|Saldaturatelaio"_s,
            u"24|1|123|1|20|1|2026-12-06|1|0|1900-01-01 13:00:00|1900-01-01 17:00:00|240|0|3|Saldaturatelaio"_s}));
    QCOMPARE(attendance(), (QStringList{u"1|1|2026-12-06|0|8|0|0|2026-12-06|0"_s,
                                        u"1|1|2026-12-06|0|12|0|0|2026-12-06|0"_s,
                                        u"1|1|2026-12-06|0|13|0|0|2026-12-06|0"_s,
                                        u"1|1|2026-12-06|0|17|0|0|2026-12-06|0"_s}));
    QCOMPARE(m_database->rows(u"SELECT Finito FROM Ordini WHERE Numero = 123"_s),
             QStringList{u"1"_s});
    QCOMPARE(m_database->rows(u"SELECT Stato FROM TestatePrenotazioni WHERE NumOrdine = 123"_s),
             QStringList{u"4"_s});
    QCOMPARE(journal(),
             (QStringList{u"24,1,123,1,1,\"6/12/2026\",10,0,\"8:0\",\"\""_s,
                          u"24,1,123,1,1,\"6/12/2026\",20,3,\"10:30\",\"Saldaturatelaio\""_s,
                          u"24,1,123,1,1,\"6/12/2026\",0,0,\"12:0\",\"\""_s,
                          u"24,1,123,1,1,\"6/12/2026\",20,3,\"13:0\",\"Saldaturatelaio\""_s,
                          u"24,1,123,1,1,\"6/12/2026\",0,0,\"17:0\",\"\""_s}));
    QVERIFY(errorLines().isEmpty());
}

void TestPosting::closingTakesTheEarliestOpenSheet_data()
{
    QTest::addColumn<QStringList>("starts"); // open sheets of order 77, in insertion order
    QTest::addColumn<QString>("shown");      // order in the confirmation
    QTest::addColumn<QStringList>("ends");   // OraFine|Totale per sheet, by start time

    QTest::newRow("two open sheets") << QStringList{u"09:00:00"_s, u"08:00:00"_s} << u"77"_s
                                     << QStringList{u"1900-01-01 12:30:00|270"_s, u"-|-"_s};
    QTest::newRow("none") << QStringList() << u"12"_s << QStringList();
    QTest::newRow("start with seconds")
        << QStringList{u"08:00:30"_s} << u"77"_s << QStringList{u"1900-01-01 12:30:00|270"_s};
    QTest::newRow("end before start")
        << QStringList{u"13:00:00"_s} << u"77"_s << QStringList{u"1900-01-01 12:30:00|-30"_s};
}

void TestPosting::closingTakesTheEarliestOpenSheet()
{
    QFETCH(QStringList, starts);
    QFETCH(QString, shown);
    QFETCH(QStringList, ends);
    start();
    for (const QString& time : starts)
        QVERIFY(m_database->exec(
            u"INSERT INTO SchedeLav (Anno, Filiale, Ordine, Progressivo, PosizLav, Dipendente, "
            u"Data, "
            "Causale, OraInizio, InLavoraz) VALUES (24, 1, 77, 0, 1, 1, ?, 0, ?, 1)"_s,
            {m_database->date(QDate(2026, 12, 6)), TestDatabase::clockTime(time)}));
    // Another employee's and another day's open sheets are not touched.
    QVERIFY(m_database->exec(
        u"INSERT INTO SchedeLav (Dipendente, Data, Causale, OraInizio, InLavoraz) "
        "VALUES (2, ?, 0, ?, 1)"_s,
        {m_database->date(QDate(2026, 12, 6)), TestDatabase::clockTime(u"07:00:00"_s)}));
    QVERIFY(m_database->exec(
        u"INSERT INTO SchedeLav (Dipendente, Data, Causale, OraInizio, InLavoraz) "
        "VALUES (1, ?, 0, ?, 1)"_s,
        {m_database->date(QDate(2026, 12, 5)), TestDatabase::clockTime(u"07:00:00"_s)}));

    QCOMPARE(post(record(u"1230"_s, u"#B"_s, u"0"_s, u"241000120"_s)),
             display(u"KTessera n. 42|Ord: "_s + shown + u" P: 0"_s));

    const QStringList closed = m_database->rows(
        u"SELECT OraFine, Totale FROM SchedeLav WHERE Dipendente = 1 AND Ordine = 77 "
        "ORDER BY OraInizio"_s);
    QCOMPARE(closed, ends);
    QCOMPARE(m_database->rows(
                 u"SELECT COUNT(*) FROM SchedeLav WHERE OraFine IS NULL AND Ordine IS NULL"_s),
             QStringList{u"2"_s});
    QVERIFY(errorLines().isEmpty());
}

void TestPosting::attendanceExitClosesTheOpenSheet()
{
    start(0, 0);
    QCOMPARE(post(record(u"0800"_s, u"#C"_s, u"1"_s, u"000000000"_s)),
             display(u"KTessera n. 42| Entra ->] 08:00"_s));
    QCOMPARE(post(record(u"0815"_s, u"00"_s, u"1"_s, u"241000120"_s)),
             display(u"KTessera n. 42|Ord: 12 P: 1"_s));
    QCOMPARE(post(record(u"1715"_s, u"#C"_s, u"2"_s, u"000000000"_s)),
             display(u"KTessera n. 42|  Esce <-] 17:15"_s));
    QCOMPARE(
        sheets(),
        QStringList{
            u"24|1|12|0|1|1|2026-12-06|1|0|1900-01-01 08:15:00|1900-01-01 17:15:00|540|0|2|Taglio lamieraspessore 3 mm"_s});
    QCOMPARE(attendance(), (QStringList{u"1|1|2026-12-06|1|8|0|0|2026-12-06|0"_s,
                                        u"1|1|2026-12-06|2|17|15|0|2026-12-06|0"_s}));
    QCOMPARE(journal().first(), u"26,1,0,0,1,\"6/12/2026\",1,0,\"8:0\",\"\""_s);
}

void TestPosting::attendanceExitClosesAnyOpenSheet_data()
{
    QTest::addColumn<QVariant>("begun"); // OraInizio as other software left it
    QTest::addColumn<QString>("closed"); // OraFine|Totale
    QTest::newRow("no start") << QVariant() << u"1900-01-01 17:15:00|-"_s;
    QTest::newRow("on another day")
        << QVariant(u"1900-01-02 08:00:00"_s) << u"1900-01-01 17:15:00|-885"_s;
    QTest::newRow("with seconds") << QVariant(u"1900-01-01 08:00:30"_s)
                                  << u"1900-01-01 17:15:00|555"_s;
}

// An exit closes the employee's open sheet of the day whatever its start:
// not found, it would fail the exit, and every exit of that day after it.
void TestPosting::attendanceExitClosesAnyOpenSheet()
{
    QFETCH(QVariant, begun);
    QFETCH(QString, closed);
    start(0, 0);
    const bool postgres = m_database->isPostgreSQL();
    QVERIFY(m_database->exec(
        u"INSERT INTO SchedeLav (Dipendente, Data, Causale, OraInizio, InLavoraz) "
        "VALUES (1, ?, 0, %1, 1)"_s.arg(begun.isNull() ? u"NULL"_s
                                        : postgres     ? u"CAST(? AS timestamp)"_s
                                                       : u"?"_s),
        begun.isNull() ? QVariantList{m_database->date(QDate(2026, 12, 6))}
                       : QVariantList{m_database->date(QDate(2026, 12, 6)), begun}));
    post(record(u"0800"_s, u"#C"_s, u"1"_s, u"000000000"_s));
    QCOMPARE(post(record(u"1715"_s, u"#C"_s, u"2"_s, u"000000000"_s)),
             display(u"KTessera n. 42|  Esce <-] 17:15"_s));
    QCOMPARE(m_database->rows(u"SELECT OraFine, Totale FROM SchedeLav"_s), QStringList{closed});
    QVERIFY(errorLines().isEmpty());
}

void TestPosting::derivedAttendanceFollowsSwitchesAndCount_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("presAuto");
    QTest::addColumn<int>("presAutoFine");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("derived");

    QTest::newRow("start, none yet") << u"#A"_s << 1 << 0 << 0 << true;
    QTest::newRow("start, present") << u"00"_s << 1 << 0 << 1 << false;
    QTest::newRow("start, absent again") << u"#A"_s << 1 << 0 << 2 << true;
    QTest::newRow("start, switched off") << u"#A"_s << 0 << 1 << 0 << false;
    QTest::newRow("end, present") << u"#B"_s << 1 << 1 << 1 << true;
    QTest::newRow("end, absent") << u"#B"_s << 1 << 1 << 2 << false;
    QTest::newRow("end, none") << u"#D"_s << 1 << 1 << 0 << false;
    QTest::newRow("end, second switch off") << u"#B"_s << 1 << 0 << 1 << false;
    QTest::newRow("end, first switch off") << u"#D"_s << 0 << 1 << 1 << false;
}

void TestPosting::derivedAttendanceFollowsSwitchesAndCount()
{
    QFETCH(QString, function);
    QFETCH(int, presAuto);
    QFETCH(int, presAutoFine);
    QFETCH(int, records);
    QFETCH(bool, derived);
    start(presAuto, presAutoFine);
    const QVariant day = m_database->date(QDate(2026, 12, 6));
    for (int i = 0; i < records; ++i)
        QVERIFY(m_database->exec(
            u"INSERT INTO Presenze (Dipendente, Data, DataComp) VALUES (1, ?, ?)"_s, {day, day}));
    post(record(u"0705"_s, function, u"1"_s, u"241000120"_s));
    QCOMPARE(attendance().size(), records + (derived ? 1 : 0));
    if (derived)
        QCOMPARE(attendance().last(), u"1|1|2026-12-06|0|7|5|0|2026-12-06|0"_s);
}

void TestPosting::missingOrderIsCreated_data()
{
    QTest::addColumn<QString>("badge");
    QTest::addColumn<int>("branch"); // Filiale.set; the record carries branch 0
    QTest::addColumn<QString>("reparto");
    QTest::addColumn<QString>("barCode");

    QTest::newRow("department of the branch") << u"0045"_s << 1 << u"105"_s << u"*241001231*"_s;
    QTest::newRow("department of another branch") << u"0043"_s << 1 << u"100"_s << u"*241001231*"_s;
    QTest::newRow("no department") << u"0044"_s << 1 << u"100"_s << u"*241001231*"_s;
    QTest::newRow("two-digit branch") << u"0042"_s << 12 << u"1200"_s << u"*2412001231*"_s;
}

void TestPosting::missingOrderIsCreated()
{
    QFETCH(QString, badge);
    QFETCH(int, branch);
    QFETCH(QString, reparto);
    QFETCH(QString, barCode);
    start(0, 0, branch);
    post(record(u"0800"_s, u"#A"_s, u"1"_s, u"240001231"_s, badge));
    QCOMPARE(m_database->rows(u"SELECT Anno, Filiale, Numero, Progressivo, Data, Reparto, Chiuso, "
                              "CodBarre FROM Ordini WHERE Numero = 123"_s),
             QStringList{u"24|%1|123|1|2026-12-06|%2|0|%3"_s.arg(branch).arg(reparto, barCode)});
    // An existing order is left as it is.
    post(record(u"0900"_s, u"#A"_s, u"1"_s, u"241000140"_s, badge));
    QCOMPARE(
        m_database->rows(u"SELECT Reparto, Descrizione, CodBarre FROM Ordini WHERE Numero = 14"_s),
        QStringList{u"100|Cassone|*241000140*"_s});
}

void TestPosting::orderLineNoteIsCollected()
{
    start(0, 0);
    QVERIFY(m_database->exec(u"INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, "
                             u"Posizione, Tipo, Testo1, Testo2, "
                             "Testo3, Testo4) VALUES (24, 12, 1, 0, 7, ' 4 ', ?, ?, NULL, 'EF')"_s,
                             {u"AB "_s, u" CD"_s}));
    QVERIFY(m_database->exec(
        u"INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Tipo, Testo1) "
        "VALUES (24, 12, 1, 0, 8, NULL, ?)"_s,
        {QString(60, u'n')}));
    post(record(u"0800"_s, u"00"_s, u"7"_s, u"241000120"_s));
    post(record(u"0900"_s, u"00"_s, u"8"_s, u"241000120"_s));
    QVERIFY(m_database->exec(
        u"INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Testo1) "
        "VALUES (24, 12, 1, 0, 10, ?)"_s,
        {u" \tX\u00a0 "_s}));
    post(record(u"1000"_s, u"00"_s, u"9"_s, u"241000120"_s)); // no such line
    post(record(u"1100"_s, u"00"_s, u"10"_s, u"241000120"_s));
    // Blanks are trimmed, as the system trims; tabs and no-break spaces are text.
    QCOMPARE(m_database->rows(u"SELECT PosizLav, Flag, Note FROM SchedeLav ORDER BY OraInizio"_s),
             (QStringList{u"7|4|ABCD"_s, u"8|0|"_s + QString(50, u'n'), u"9|0|-"_s,
                          u"10|0|\tX\u00a0"_s}));
}

void TestPosting::failuresCarryTheirLabel_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("begins");
    QTest::addColumn<int>("journalLines");

    QTest::newRow("attendance insert")
        << u"presenze"_s << record(u"0800"_s, u"#C"_s, u"1"_s, u"000000000"_s)
        << u"Mov PresenzeErrore #"_s << 0;
    QTest::newRow("first statement of an end of work")
        << u"schede"_s << record(u"1200"_s, u"#B"_s, u"0"_s, u"241000120"_s) << u"Errore #"_s << 0;
    QTest::newRow("order number of an attendance transit")
        << QString() << record(u"0800"_s, u"#C"_s, u"1"_s, u"0001 2 30"_s)
        << u"Errore #13 verificato: Tipo non corrispondente"_s << 0;
    QTest::newRow("position overflows")
        << QString() << record(u"0800"_s, u"00"_s, u"99999"_s, u"241000120"_s)
        << u"Errore #6 verificato: Overflow"_s << 0;
    QTest::newRow("journal folder missing")
        << u"journal"_s << record(u"0800"_s, u"#A"_s, u"1"_s, Order123)
        << u"Errore #76 verificato: Impossibile trovare il percorso"_s << 0;
}

void TestPosting::failuresCarryTheirLabel()
{
    QFETCH(QString, breakage);
    QFETCH(QString, record);
    QFETCH(QString, begins);
    QFETCH(int, journalLines);
    start();
    if (breakage == u"presenze"_s) {
        // A view the count can read and no insert can write.
        QVERIFY(m_database->exec(u"ALTER TABLE Presenze RENAME TO PresenzeRighe"_s));
        QVERIFY(
            m_database->exec(u"CREATE VIEW Presenze AS SELECT DISTINCT * FROM PresenzeRighe"_s));
    } else if (breakage == u"schede"_s) {
        QVERIFY(m_database->exec(u"DROP TABLE SchedeLav"_s));
    } else if (breakage == u"journal"_s) {
        m_fixture->workspace.remove(u"Backup"_s);
    }
    QCOMPARE(post(record), display(u"KBadge Errato"_s));
    QCOMPARE(m_fixture->registry.BadgeErrato, qint16(1));
    QCOMPARE(errorLines().size(), 1);
    QVERIFY2(errorLines().first().contains(u' ' + begins), qPrintable(errorLines().first()));
    QCOMPARE(journal().size(), journalLines);
    QVERIFY(m_fixture->logLines().last().endsWith(u" [3]"_s));
    if (breakage == u"journal"_s) // what the database got stays
        QCOMPARE(m_database->rows(u"SELECT COUNT(*) FROM SchedeLav"_s), QStringList{u"1"_s});
}

void TestPosting::journalDateAndOtherCodes()
{
    m_fixture->clock.set(QDateTime(QDate(2024, 1, 2), QTime(9, 0)));
    start(0, 0);
    m_fixture->switches.TraceON = true;
    QCOMPARE(post(record(u"2350"_s, u"#E"_s, u"4"_s, u"241000120"_s, u"0042"_s, u"311223"_s)),
             QString());
    QCOMPARE(journal(), QStringList{u"24,1,12,0,1,\"31/12/2023\",4,0,\"23:50\",\"\""_s});
    QCOMPARE(m_fixture->logLines()
                 .filter(u"SpY:1"_s)
                 .replaceInStrings(QRegularExpression(u".* "_s), QString()),
             (QStringList{u"SpY:101"_s, u"SpY:102"_s, u"SpY:103"_s, u"SpY:114"_s, u"SpY:115"_s,
                          u"SpY:116"_s}));
    QVERIFY(sheets().isEmpty());
    QVERIFY(attendance().isEmpty());
}

void TestPosting::everyReadIsAnsweredOnItsOwnTerminal()
{
    start(0, 0);
    m_fixture->wait = EventWait(0.02); // rejections answer after the accepted reads
    QMap<qint16, QString> expected;
    for (qint16 terminal = 0; terminal <= 20; ++terminal) {
        const int badge = terminal % 3 == 0 ? 99 : 42 + terminal % 4;
        const QString order = u"24100%1"_s.arg(12 + terminal % 3, 3, 10, QChar(u'0')) + u"0"_s;
        const QString function = terminal == 1 ? u"#C"_s : u"00"_s;
        m_fixture->control.raiseData(u"127.0.0.%1"_s.arg(11 + terminal),
                                     record(u"0800"_s, function, QString::number(terminal), order,
                                            QString::number(badge).rightJustified(4, u'0')),
                                     terminal);
        expected[terminal] = badge == 99           ? u"KBadge Errato"_s
                             : function == u"#C"_s ? u"KTessera n. %1| Entra ->] 08:00"_s.arg(badge)
                             : order.mid(6, 2) == u"13"_s
                                 ? u"KOrdine n. 13|      Chiuso"_s
                                 : u"KTessera n. %1|Ord: %2 P: %3"_s.arg(badge)
                                       .arg(order.mid(3, 5).toInt())
                                       .arg(terminal);
    }
    QTRY_COMPARE(m_fixture->control.sends().size(), 21);
    for (const auto& send : m_fixture->control.sends()) {
        QCOMPARE(send.IPTer, u"127.0.0.%1"_s.arg(11 + send.NumTer));
        QCOMPARE(send.text, display(expected.value(send.NumTer)));
    }
}

QTEST_GUILESS_MAIN(TestPosting)
#include "tst_posting.moc"
