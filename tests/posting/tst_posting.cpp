#include "support/livefixture.h"
#include "support/testrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A query and the rows it must give; the query "journal" reads the journal,
// "trace" the posting's trace points.
using Checks = QList<std::pair<QString, QStringList>>;

// "HHMM FUNCTION POSITION ORDER [BADGE [DDMMYY]]"; a blank in a field is written "_".
TestRecord parse(const QString& read)
{
    const QStringList f = read.split(u' ').replaceInStrings(u"_"_s, u" "_s);
    return {f[0], f.value(5, u"061226"_s), f.value(4, u"0042"_s), f[1], f[2], f[3]};
}

const QString Sheets = u"SELECT Anno, Filiale, Ordine, Progressivo, PosizLav, Dipendente, Data, "
                       "Terminale, Causale, OraInizio, OraFine, Totale, InLavoraz, Flag, Note "
                       "FROM SchedeLav ORDER BY Dipendente, OraInizio"_s;
const QString Attendance = u"SELECT Terminale, Dipendente, Data, Causale, Ora, Minuti, Flag, "
                           "DataComp, OrdComp FROM Presenze ORDER BY Progr"_s;
const QString Open77 = u"INSERT INTO SchedeLav (Anno, Filiale, Ordine, Progressivo, PosizLav, "
                       "Dipendente, Data, Causale, OraInizio, InLavoraz) VALUES (24, 1, 77, 0, 1, "
                       "1, '2026-12-06', 0, '1900-01-01 %1', 1)"_s;
const QString OpenSheet = u"INSERT INTO SchedeLav (Dipendente, Data, Causale, OraInizio, "
                          "InLavoraz) VALUES (%1, '%2', 0, %3, 1)"_s;
const QString Present = u"INSERT INTO Presenze (Dipendente, Data, DataComp) VALUES (%1, '%2', "
                        "'%2')"_s;
const QString Line = u"INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, "
                     "Tipo, Testo1, Testo2, Testo3, Testo4) VALUES (24, %1, 1, %2)"_s;

} // namespace

// The posting of accepted live reads, on the backend PARVIX_TEST_BACKEND names.
class TestPosting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsPostTheirRows_data()
    {
        QTest::addColumn<QString>("settings");   // PresAuto,PresAutoFine,branch
        QTest::addColumn<QStringList>("before"); // SQL; "rm PATH" removes a workspace path
        QTest::addColumn<QStringList>("reads");  // see parse(); an INSERT runs between two reads
        QTest::addColumn<QStringList>("shown");  // per read
        QTest::addColumn<Checks>("checks");      // afterwards
        QTest::addColumn<QStringList>("errors"); // the error lines hold these, one each

        const QString order123 = u"241001231"_s; // 2024, branch 1, order 123, progressive 1
        // An attendance row is derived from a start of work when the employee is
        // absent (an even count), from an end when present.
        QTest::newRow("a working day on a new order")
            << u"1,1,1"_s
            << QStringList{u"INSERT INTO TestatePrenotazioni (AnnoOrdine, Filiale, NumOrdine, "
                           "ProgrOrdine, Stato) VALUES (24, 1, 123, 1, 1)"_s,
                           Line.arg(123).arg(u"1, 20, '3', 'Saldatura ', ' telaio', NULL, 'x'"_s)}
            << QStringList{u"0800 #A 10 "_s + order123, u"1030 00 20 "_s + order123,
                           u"1200 #B 0 "_s + order123, u"1300 00 20 "_s + order123,
                           u"1700 #D 0 "_s + order123}
            << QStringList{u"KTessera n. 42|Ord: 123 P: 10"_s, u"KTessera n. 42|Ord: 123 P: 20"_s,
                           u"KTessera n. 42|Ord: 123 P: 0"_s, u"KTessera n. 42|Ord: 123 P: 20"_s,
                           u"KTessera n. 42|Ord: 123 P: 0"_s}
            << Checks{{Sheets,
                       {u"24|1|123|1|10|1|2026-12-06|1|0|1900-01-01 08:00:00|1900-01-01 10:30:00|150|0|0|-"_s,
                        u"24|1|123|1|20|1|2026-12-06|1|0|1900-01-01 10:30:00|1900-01-01 12:00:00|90|0|3|Saldaturatelaio"_s,
                        u"24|1|123|1|20|1|2026-12-06|1|0|1900-01-01 13:00:00|1900-01-01 17:00:00|240|0|3|Saldaturatelaio"_s}},
                      {Attendance,
                       {u"1|1|2026-12-06|0|8|0|0|2026-12-06|0"_s,
                        u"1|1|2026-12-06|0|12|0|0|2026-12-06|0"_s,
                        u"1|1|2026-12-06|0|13|0|0|2026-12-06|0"_s,
                        u"1|1|2026-12-06|0|17|0|0|2026-12-06|0"_s}},
                      {u"SELECT Chiuso, Finito, Reparto, Descrizione, CodBarre FROM Ordini WHERE "
                       "Numero = 123"_s,
                       {u"0|1|1| |*241001231*"_s}},
                      {u"SELECT Stato FROM TestatePrenotazioni WHERE NumOrdine = 123"_s, {u"4"_s}}}
            << QStringList();

        // An end of work closes the employee's earliest open sheet of the day,
        // not another employee's or another day's.
        QTest::newRow("closing: the earliest of two open sheets")
            << u"1,1,1"_s
            << QStringList{OpenSheet.arg(2).arg(u"2026-12-06"_s, u"'1900-01-01 07:00:00'"_s),
                           OpenSheet.arg(1).arg(u"2026-12-05"_s, u"'1900-01-01 07:00:00'"_s),
                           Open77.arg(u"09:00:00"_s), Open77.arg(u"08:00:00"_s)}
            << QStringList{u"1230 #B 0 241000120"_s}
            << QStringList{u"KTessera n. 42|Ord: 77 P: 0"_s}
            << Checks{{u"SELECT OraFine, Totale FROM SchedeLav WHERE Dipendente = 1 AND Ordine = "
                       u"77 "
                       "ORDER BY OraInizio"_s,
                       {u"1900-01-01 12:30:00|270"_s, u"-|-"_s}},
                      {u"SELECT COUNT(*) FROM SchedeLav WHERE OraFine IS NULL AND Ordine IS NULL"_s,
                       {u"2"_s}}}
            << QStringList();

        QTest::newRow("an attendance exit closes the open sheet")
            << u"0,0,1"_s << QStringList()
            << QStringList{u"0800 #C 1 000000000"_s, u"0815 00 1 241000120"_s,
                           u"1715 #C 2 000000000"_s}
            << QStringList{u"KTessera n. 42| Entra ->] 08:00"_s, u"KTessera n. 42|Ord: 12 P: 1"_s,
                           u"KTessera n. 42|  Esce <-] 17:15"_s}
            << Checks{{Sheets,
                       {u"24|1|12|0|1|1|2026-12-06|1|0|1900-01-01 08:15:00|1900-01-01 17:15:00|540|0|2|Taglio lamieraspessore 3 mm"_s}},
                      {Attendance,
                       {u"1|1|2026-12-06|1|8|0|0|2026-12-06|0"_s,
                        u"1|1|2026-12-06|2|17|15|0|2026-12-06|0"_s}},
                      {u"journal"_s,
                       {u"26,1,0,0,1,\"6/12/2026\",1,0,\"8:0\",\"\""_s,
                        u"24,1,12,0,1,\"6/12/2026\",1,2,\"8:15\",\"Taglio lamieraspessore 3 mm\""_s,
                        u"26,1,0,0,1,\"6/12/2026\",2,0,\"17:15\",\"\""_s}}}
            << QStringList();
        // Whatever its start, as other software left it: not found, the exit
        // would fail, and every exit of that day after it. The direction is the
        // employee's own count of the day: an odd one makes an exit.
        const auto exitCloses = [](const char* name, const QString& start, const QString& closed) {
            QTest::newRow(name) << u"0,0,1"_s
                                << QStringList{OpenSheet.arg(1).arg(u"2026-12-06"_s, start),
                                               Present.arg(2).arg(u"2026-12-06"_s),
                                               Present.arg(1).arg(u"2026-12-05"_s)}
                                << QStringList{u"0800 #C 1 000000000"_s, u"1715 #C 2 000000000"_s,
                                               u"1800 #C 1 000000000"_s}
                                << QStringList{u"KTessera n. 42| Entra ->] 08:00"_s,
                                               u"KTessera n. 42|  Esce <-] 17:15"_s,
                                               u"KTessera n. 42| Entra ->] 18:00"_s}
                                << Checks{{u"SELECT OraFine, Totale FROM SchedeLav"_s, {closed}}}
                                << QStringList();
        };
        exitCloses("an exit closes a sheet with no start", u"NULL"_s, u"1900-01-01 17:15:00|-"_s);
        exitCloses("an exit closes a sheet of another day", u"'1900-01-02 08:00:00'"_s,
                   u"1900-01-01 17:15:00|-885"_s);
        exitCloses("an exit closes a sheet with seconds", u"'1900-01-01 08:00:30'"_s,
                   u"1900-01-01 17:15:00|555"_s);

        // Nothing is derived from a start of work with PresAuto off, nor from an
        // end with either switch off or the employee absent (an even count).
        const auto underived =
            [](const char* name, const QString& function, const QString& settings, int records) {
                QTest::newRow(name)
                    << settings + u",1"_s
                    << QStringList(records, Present.arg(1).arg(u"2026-12-06"_s))
                    << QStringList{u"0705 "_s + function + u" 1 241000120"_s}
                    << QStringList{u"KTessera n. 42|Ord: 12 P: 1"_s}
                    << Checks{{u"SELECT COUNT(*) FROM Presenze"_s, {QString::number(records)}}}
                    << QStringList();
            };
        underived("underived: start, switched off", u"#A"_s, u"0,1"_s, 0);
        underived("underived: end, absent", u"#B"_s, u"1,1"_s, 2);
        underived("underived: end, none", u"#D"_s, u"1,1"_s, 0);
        underived("underived: end, second switch off", u"#B"_s, u"1,0"_s, 1);
        underived("underived: end, first switch off", u"#D"_s, u"0,1"_s, 1);

        // A missing order is made with the department of the employee's branch
        // (here not his own); an existing one is left as it is.
        QTest::newRow("order made, order kept")
            << u"0,0,12"_s << QStringList()
            << QStringList{u"0800 #A 1 240001231"_s, u"0900 #A 1 241000140"_s}
            << QStringList{u"KTessera n. 42|Ord: 123 P: 1"_s, u"KTessera n. 42|Ord: 14 P: 1"_s}
            << Checks{{u"SELECT Anno, Filiale, Numero, Progressivo, Data, Reparto, Chiuso, Finito, "
                       "Descrizione, CodBarre FROM Ordini WHERE Numero IN (123, 14) ORDER BY "
                       "Numero "
                       "DESC"_s,
                       {u"24|12|123|1|2026-12-06|1200|0|0| |*2412001231*"_s,
                        u"24|1|14|0|2024-01-12|100|-|0|Cassone|*241000140*"_s}}}
            << QStringList();

        // Blanks are trimmed, as the system trims; tabs and no-break spaces are text.
        QTest::newRow("order-line notes")
            << u"0,0,1"_s
            << QStringList{Line.arg(12).arg(u"0, 7, ' 4 ', 'AB ', ' CD', NULL, 'EF'"_s),
                           Line.arg(12).arg(
                               u"0, 8, NULL, '%1', NULL, NULL, NULL"_s.arg(QString(60, u'n')))}
            // The last line is written meanwhile: the kept connection holds no stale read.
            << QStringList{u"0800 00 7 241000120"_s, u"0900 00 8 241000120"_s,
                           Line.arg(12).arg(u"0, 10, NULL, ' \tX\u00a0 ', NULL, NULL, NULL"_s),
                           u"1000 00 9 241000120"_s, u"1100 00 10 241000120"_s}
            << QStringList{u"KTessera n. 42|Ord: 12 P: 7"_s, u"KTessera n. 42|Ord: 12 P: 8"_s,
                           QString(), u"KTessera n. 42|Ord: 12 P: 9"_s,
                           u"KTessera n. 42|Ord: 12 P: 10"_s}
            << Checks{{u"SELECT PosizLav, Flag, Note FROM SchedeLav ORDER BY OraInizio"_s,
                       {u"7|4|ABCD"_s, u"8|0|"_s + QString(50, u'n'), u"9|0|-"_s,
                        u"10|0|\tX\u00a0"_s}}}
            << QStringList();

        // Other function codes post nothing but the journal line, dated by the record.
        QTest::newRow("another code")
            << u"0,0,1"_s << QStringList() << QStringList{u"2350 #E 4 241000120 0042 311223"_s}
            << QStringList{QString()}
            << Checks{{u"journal"_s, {u"24,1,12,0,1,\"31/12/2023\",4,0,\"23:50\",\"\""_s}},
                      {u"trace"_s,
                       {u"SpY:101"_s, u"SpY:102"_s, u"SpY:103"_s, u"SpY:114"_s, u"SpY:115"_s,
                        u"SpY:116"_s}},
                      {u"SELECT COUNT(*) FROM SchedeLav UNION ALL SELECT COUNT(*) FROM Presenze"_s,
                       {u"0"_s, u"0"_s}}}
            << QStringList();

        // A failure is logged once with its label, and the terminal told.
        const auto fails = [](const char* name, const QStringList& before, const QString& read,
                              const QString& error, const QStringList& sheets) {
            QTest::newRow(name) << u"1,1,1"_s << before << QStringList{read}
                                << QStringList{u"KBadge Errato"_s}
                                << Checks{{u"journal"_s, {}},
                                          {u"SELECT COUNT(*) FROM SchedeLav"_s, sheets}}
                                << QStringList{u' ' + error};
        };
        fails("fails: attendance insert",
              {u"ALTER TABLE Presenze RENAME TO PresenzeRighe"_s,
               u"CREATE VIEW Presenze AS SELECT DISTINCT * FROM PresenzeRighe"_s},
              u"0800 #C 1 000000000"_s, u"Mov PresenzeErrore #"_s, {u"0"_s});
        fails("fails: a record that does not decode", {}, u"0800 00 99999 241000120"_s,
              u"Errore #6 verificato: Overflow"_s, {u"0"_s});
        fails("fails: first statement of an end of work", {u"DROP TABLE SchedeLav"_s},
              u"1200 #B 0 241000120"_s, u"Errore #"_s, {});
        fails("fails: the booking's state", {u"DROP TABLE TestatePrenotazioni"_s},
              u"0800 00 1 241000120"_s, u"Errore #"_s, {u"1"_s});
        // What the database got stays.
        fails("fails: journal folder missing", {u"rm Backup"_s}, u"0800 #A 1 "_s + order123,
              u"Errore #76 verificato: Impossibile trovare il percorso"_s, {u"1"_s});
    }

    void readsPostTheirRows()
    {
        QFETCH(QString, settings);
        QFETCH(QStringList, before);
        QFETCH(QStringList, reads);
        QFETCH(QStringList, shown);
        QFETCH(Checks, checks);
        QFETCH(QStringList, errors);
        LiveFixture fixture;
        const QStringList s = settings.split(u',');
        fixture.settings.PresAuto = s[0].toShort();
        fixture.settings.PresAutoFine = s[1].toShort();
        fixture.settings.NumFiliale = s[2].toShort();
        fixture.switches.TraceON = true;
        QVERIFY(fixture.useDatabase());
        TestDatabase& database = *fixture.database;
        for (const QString& step : before) {
            if (step.startsWith(u"rm "_s))
                fixture.workspace.remove(step.mid(3));
            else
                QVERIFY2(database.exec(step), qPrintable(database.error()));
        }
        for (qsizetype i = 0; i < reads.size(); ++i) {
            if (reads[i].startsWith(u"INSERT"_s)) {
                QVERIFY2(database.exec(reads[i]), qPrintable(database.error()));
                continue;
            }
            fixture.control.clearCalls();
            fixture.read(1, parse(reads[i]).text());
            // An accepted read is answered at once, a rejection one (scaled) second later.
            QCOMPARE(QTest::qWaitFor([&] { return !fixture.control.sends().isEmpty(); }, 100),
                     !shown[i].isEmpty());
            QCOMPARE(fixture.sent(), shown[i].isEmpty()
                                         ? QStringList()
                                         : QStringList{BadgeCheck::displayText(shown[i])});
        }
        for (const auto& [query, rows] : checks)
            QCOMPARE(query == u"journal"_s ? fixture.workspace.lines(u"Backup/Backup.txt"_s)
                     : query == u"trace"_s
                         ? fixture.texts(u"Log/RegistroQZ.txt"_s).filter(u"SpY:1"_s)
                         : database.rows(query),
                     rows);
        const QStringList logged = fixture.errorLines();
        QCOMPARE(logged.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i)
            QVERIFY2(logged[i].contains(errors[i]), qPrintable(logged[i]));
    }
};

QTEST_GUILESS_MAIN(TestPosting)
#include "tst_posting.moc"
