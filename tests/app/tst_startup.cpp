#include "app/activitylog.h"
#include "app/commandline.h"
#include "app/datedline.h"
#include "app/portstatusfile.h"
#include "app/recordwriter.h"
#include "app/settingsreader.h"
#include "support/serverfixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// A log in a temporary folder, on a clock that stands still.
struct Log
{
    Log() { log.setLocation(folder.path(), QString()); }
    QByteArray line(const QString& text) const { return DatedLine::make(clock.now(), text); }

    TempWorkspace folder;
    TestClock clock;
    Switches switches;
    ActivityLog log{clock, switches};
};

// What start-up builds on: command line, settings files and reader, activity log, waits.
class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void optionsOrTheirError_data()
    {
        QTest::addColumn<QString>("arguments");
        // Ports, scale, headless, repost, OPT1, Check1, TraceON, SalvaT (1/0), the monitor's
        // port and address; or the error.
        QTest::addColumn<QString>("expected");
        const QString port = u" needs a port number from 1 to 65535"_s;
        const QString scale = u"--time-scale needs a number F with 0 < F <= 1"_s;
        QTest::newRow("defaults") << QString() << u"8499 8499 1 000100 0 127.0.0.1"_s;
        QTest::newRow("all")
            << u"--headless --listen-port 65535 --terminal-port=1 --trace --show-messages "
               u"--hide-errors --save-all --time-scale 0.01 --repost-failed --metrics-port 9499 "
               u"--metrics-address ::1"_s
            << u"65535 1 0.01 111011 9499 ::1"_s;
        QTest::newRow("monitor port zero") << u"--metrics-port 0"_s << u"--metrics-port"_s + port;
        QTest::newRow("monitor address a name")
            << u"--metrics-address localhost"_s
            << u"--metrics-address needs an IP address such as 127.0.0.1"_s;
        QTest::newRow("port zero") << u"--listen-port 0"_s << u"--listen-port"_s + port;
        QTest::newRow("port over") << u"--terminal-port 65536"_s << u"--terminal-port"_s + port;
        QTest::newRow("scale zero") << u"--time-scale 0"_s << scale;
        QTest::newRow("scale above one") << u"--time-scale 1.01"_s << scale;
        QTest::newRow("unknown option") << u"--fast"_s << u"Unknown option 'fast'."_s;
        QTest::newRow("stray argument") << u"--headless demo"_s << u"Unexpected argument: demo"_s;
    }

    void optionsOrTheirError()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, expected);
        CommandLine o;
        QString error;
        const bool ok = CommandLine::parse(
            (u"parvix "_s + arguments).split(u' ', Qt::SkipEmptyParts), o, error);
        const QString got =
            QString::asprintf("%d %d %g %d%d%d%d%d%d %d ", o.listenPort, o.terminalPort,
                              o.timeScale, o.headless, o.repostFailed, o.switches.OPT1,
                              o.switches.Check1, o.switches.TraceON, o.switches.SalvaT,
                              o.metricsPort) +
            o.metricsAddress;
        QCOMPARE(ok ? got : error, expected);
    }

    void readsStatementsUntilTheFileRunsOut_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("count"); // fields a statement reads; 0: one, as a 16-bit number
        QTest::addColumn<QString>("expected"); // fields by "|", statements by "/", error number
        QTest::newRow("blanks, ends") << "3, 0\r\n0\n\r\n  P F ,b"_ba << 5 << u"3|0|0|P F |b #62"_s;
        QTest::newRow("quoted") << "\" \xe0, b \",x"_ba << 2 << u" \u00e0, b |x #62"_s;
        QTest::newRow("after a closing quote") << "\"abc\"xyz,\"d,e"_ba << 1 << u"abc/d,e #62"_s;
        QTest::newRow("empty fields") << "a,,c,"_ba << 2 << u"a|/c| #62"_s;
        QTest::newRow("numbers") << "3.6,2.5,,-32768,\" 32767\""_ba << 0
                                 << u"4/2/0/-32768/32767 #62"_s;
        QTest::newRow("only line ends") << "\r\n\r\n"_ba << 0 << u" #62"_s;
    }

    void readsStatementsUntilTheFileRunsOut()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, count);
        QFETCH(QString, expected);
        SettingsReader reader;
        reader.setData(content);
        QStringList fields, statements;
        Error error;
        qint16 value = 0;
        while (statements.size() < 9 && reader.read(qMax(count, 1), fields, error) &&
               (count > 0 || SettingsReader::toInt16(fields[0], value, error)))
            statements.append(count > 0 ? fields.join(u'|') : QString::number(value));
        QCOMPARE(statements.join(u'/') + u" #"_s + QString::number(error.number), expected);
    }

    void failedWritesCarryTheSystemNumbers()
    {
        QTemporaryDir folder;
        QBuffer device; // never opened: every write fails, as on a full disk
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
        Error missing, full;
        QVERIFY(!RecordWriter::replaceFile(folder.filePath(u"Missing/a.set"_s), "1\r\n", missing));
        QVERIFY(!RecordWriter::write(device, "3, 0, 0\r\n", full));
        QCOMPARE(u"%1 %2, %3 %4"_s.arg(QString::number(missing.number), missing.description,
                                       QString::number(full.number), full.description),
                 u"76 Impossibile trovare il percorso, 57 Errore di I/O sulla periferica"_s);
    }

    void settingsFilesDecideTheOutcome_data()
    {
        QTest::addColumn<QString>("file"); // removed, then written if there is content
        QTest::addColumn<QByteArray>("content");
        // Ports in the title, address labels, first, second and last slot; or the failure.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& file, const QByteArray& content,
                            const QString& expected) {
            QTest::newRow(name) << file << content << expected;
        };
        QByteArray table; // more terminal records than slots, numbered backwards
        for (int n = 1; n <= 25; ++n)
            table += u"\"%1\",\"127.0.0.%2\"\r\n"_s.arg(26 - n).arg(n + 10).toLatin1();

        row("network address", u"Set/ParvixSrv.set"_s, ""_ba,
            u"1 porta 127.0.0.5 1=127.0.0.11 = ="_s);
        row("new count", u"Set/ParvixIP.set"_s, ""_ba, u"3 porte 127.0.0.1 1=127.0.0.11 = ="_s);
        row("new table", u"Set/ParvixHost.set"_s, ""_ba,
            u"1 porta 127.0.0.1 1=192.168.1.100 = ="_s);
        row("slots in file order", u"Set/ParvixHost.set"_s, table,
            u"1 porta 127.0.0.1 25=127.0.0.11 24=127.0.0.12 5=127.0.0.31"_s);
        row("short workspace", u"Set/Workspace.set"_s, "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q\r\n"_ba,
            u"Errore #Apertura Workspace  62 verificato: Input oltre la fine del file"_s);
        row("five-label address", u"Set/ParvixSrv.set"_s, "1.2.3.4.5"_ba,
            u"Errore #ParvixSrv.set  340 verificato: Elemento della matrice di controlli "
            u"inesistente"_s);
        row("terminal count not a number", u"Set/ParvixIP.set"_s, "tre,0,0"_ba,
            u"Errore #ParvixIP.set  13 verificato: Tipo non corrispondente"_s);
        row("switch overflows", u"Set/ParvixIP.set"_s, "3, 99999, 0"_ba,
            u"Errore #ParvixIP.set  6 verificato: Overflow"_s);
        row("no connection", u"Set/Connection.set"_s, ""_ba,
            u"Errore #Apertura Connect Sql  53 verificato: Impossibile trovare il file"_s);
        row("short Ore.dat", u"Ore.dat"_s, "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18"_ba,
            u"Errore #Apertura OreDat  62 verificato: Input oltre la fine del file"_s);
        row("no branch", u"Set/Filiale.set"_s, ""_ba,
            u"Errore #Apertura Filiale  53 verificato: Impossibile trovare il file"_s);
        row("terminal table is a folder", u"Set/ParvixHost.set/x"_s, "x"_ba,
            u"Errore #ParvixHost.set  75 verificato: Errore di accesso al percorso/file"_s);
    }

    void settingsFilesDecideTheOutcome()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        ServerFixture fixture({{u"1"_s, u"127.0.0.11"_s}});
        fixture.control.setLocalAddress(u"127.0.0.5"_s);
        fixture.workspace.remove(file.section(u'/', 0, 1)); // a deeper path makes it a folder
        if (!content.isEmpty())
            fixture.workspace.write(file, content);

        const bool ok = fixture.start();
        const ParvixServer& server = *fixture.server;
        const TerminalTable& table = fixture.registry.table;
        QString outcome = ok ? u"%1 %2"_s.arg(server.title().section(u" - "_s, 1),
                                              server.addressLabels().join(u'.'))
                             : server.startupFailure();
        for (int slot : {0, 1, TerminalTable::SlotCount - 1})
            outcome +=
                ok ? u' ' + table.NumTerminale[slot] + u'=' + table.IPTerminale[slot] : QString();
        QCOMPARE(outcome, expected);
        const QHash<QString, QByteArray> defaults{
            {u"Set/ParvixIP.set"_s, "3, 0, 0\r\n"},
            {u"Set/ParvixHost.set"_s, "\"1\",\"192.168.1.100\"\r\n"}};
        QCOMPARE(fixture.workspace.read(file),
                 content.isEmpty() && ok ? defaults.value(file) : content);
        const bool early = expected.contains(u"Workspace"_s); // log in the working dir, no service
        // Without a site database here, a start-up also raises that alert.
        QStringList logged =
            QString::fromLatin1(
                fixture.workspace.read(early ? u"RegistroQZ.txt"_s : u"Log/RegistroQZ.txt"_s))
                .split(u"\r\n"_s, Qt::SkipEmptyParts);
        logged.removeIf([](const QString& line) { return line.contains(u"Allarme: database"_s); });
        QCOMPARE(logged, ok ? QStringList()
                            : QStringList{QString::fromLatin1(
                                  DatedLine::make(fixture.clock.now(), expected).chopped(2))});
        const QStringList operations = fixture.control.operations(); // started, never stopped
        QCOMPARE(operations.mid(0, 1) + operations.filter(u"Stop"_s),
                 early ? QStringList() : QStringList{u"StartService"_s});
    }

    void filtersOnlyReceivedTraffic_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("kept"); // without Salva Tutto
        QTest::newRow("presence, any case") << u"abcdtRaX0002"_s << false;
        QTest::newRow("TRAX elsewhere") << u"00001TRAX"_s << true;
        QTest::newRow("no-file reply") << u"DIR PASSAGGI ?*"_s << false;
        QTest::newRow("no-file reply lower case") << u"dir passaggi ?*"_s << true;
        QTest::newRow("reply with a file") << u"DIR PASSAGGI ?* "_s << true;
    }

    // Salva Tutto keeps all; other callers, and the line after a message, are never filtered.
    void filtersOnlyReceivedTraffic()
    {
        QFETCH(QString, message);
        QFETCH(bool, kept);
        Log f;
        const QString text = u"[127.0.0.11] Term: 1 - Msg: "_s + message;
        f.log.logReceived(message, text);
        f.log.LogFile(message);
        f.switches.SalvaT = true;
        f.log.logReceived(message, text);
        QCOMPARE(f.folder.read(u"RegistroQZ.txt"_s),
                 (kept ? f.line(text) : QByteArray()) + f.line(message) + f.line(text));
    }

    // The log stays open, yet each line goes to the path as it is then; past 1,000,000 bytes it
    // moves to the day's first free RegDDMMYY[_N].txt; a new log takes Old_RegistroQZ.txt away.
    void eachLineGoesToThePathAsItIsThen()
    {
        Log f;
        const QByteArray full(ActivityLog::RotationSize, 'x');
        f.folder.write(u"Old_RegistroQZ.txt"_s, "old");
        f.folder.write(u"Reg061226.txt"_s, "morning");
        f.folder.write(u"RegistroQZ.txt"_s, full);
        f.log.SpY(205); // only with Trace ON
        f.switches.TraceON = true;
        f.log.SpY(401); // not past 1,000,000 bytes before it
        f.log.LogFile(u"one"_s);
        QVERIFY(QFile::rename(f.log.filePath(), f.folder.filePath(u"archived.txt"_s)));
        f.folder.write(u"RegistroQZ.txt"_s, "new\r\n"); // another file in its place
        f.log.LogFile(u"two"_s);
        f.folder.write(u"RegistroQZ.txt"_s, full + 'x');
        f.log.LogFile(u"three"_s);
        f.folder.write(u"Old_RegistroQZ.txt"_s, "old");
        QVERIFY(QFile::remove(f.log.filePath()));
        f.log.LogFile(u"four"_s);
        QByteArray files;
        for (const QString& name :
             {u"archived.txt"_s, u"Reg061226.txt"_s, u"Reg061226_1.txt"_s, u"Reg061226_2.txt"_s,
              u"RegistroQZ.txt"_s, u"Old_RegistroQZ.txt"_s})
            files += f.folder.read(name) + '|';
        QCOMPARE(files, f.line(u"one"_s) + "|morning|" + full + f.line(u"SpY:401"_s) + '|' + full +
                            "x|" + f.line(u"four"_s) + "||");
        // "<regional short date> <long time without zone> <text>" and CR LF, each at its own time
        const QString date = QLocale::system().toString(f.clock.now().date(), QLocale::ShortFormat);
        const QByteArray x = f.line(u"x"_s);
        f.clock.advance(1);
        QVERIFY(x.startsWith(date.toLatin1() + ' ') && x.endsWith(" x\r\n") && f.line(u"x"_s) != x);

        // Lost while missing, the port status too, then tried again.
        f.log.setLocation(f.folder.path(), u"Later"_s);
        f.log.LogFile(u"lost"_s);
        PortStatusFile status(f.clock);
        status.setLocation(f.folder.path(), u"Later"_s);
        status.StatoPorte(u"lost"_s, 0);
        QVERIFY(!f.folder.exists(u"Later"_s) && QDir(f.folder.path()).mkpath(u"Later"_s));
        f.log.LogFile(u"kept"_s);
        QCOMPARE(f.folder.read(u"Later/RegistroQZ.txt"_s), f.line(u"kept"_s));
    }

    // Under half a ten-thousandth of a second a rest runs at once, dispatching nothing; later ones
    // run when due, among other events and in the order asked.
    void restsRunWhenDueWhileEverythingElseGoesOn()
    {
        const EventWait wait(0.05);
        QStringList order;
        QTimer::singleShot(0, this, [&] { order.append(u"other"_s); });
        QTimer::singleShot(30, this, [&] { order.append(u"30 ms"_s); });
        wait.Pausa(1.0, this, [&] { order.append(u"a"_s); });
        wait.Pausa(1.0, this, [&] { order.append(u"b"_s); });
        wait.Pausa(0.5, this, [&] { order.append(u"c"_s); });
        {
            const QObject gone; // a rest goes with its context
            wait.Pausa(0.5, &gone, [&] { order.append(u"gone"_s); });
        }
        for (double tempo : {0.0, -1.0, 0.00004})
            wait.Pausa(tempo, this, [&] { order.append(u"at once"_s); });
        QCOMPARE(order, QStringList(3, u"at once"_s));
        QTRY_COMPARE(order.mid(3), (QStringList{u"other"_s, u"c"_s, u"30 ms"_s, u"a"_s, u"b"_s}));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
