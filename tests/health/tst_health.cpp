#include "app/activitylog.h"
#include "app/operatorreport.h"
#include "app/settings.h"
#include "health/alerts.h"
#include "health/alertsettings.h"
#include "health/linkwatch.h"
#include "health/servermetrics.h"
#include "health/storagewatch.h"
#include "support/httpclient.h"
#include "support/serverfixture.h"
#include "support/testrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The alerts alone, on the standing clock; what they tell is collected as
// the error list gets it.
struct AlertParts : FakeSite
{
    AlertParts()
    {
        log.setLocation(workspace.path(), u"Log"_s);
        QObject::connect(&report, &OperatorReport::errorAdded,
                         [this](const QString& text) { told.append(text); });
    }

    ActivityLog log{clock, switches};
    OperatorReport report{log, switches};
    Alerts alerts{report, clock};
    QStringList told;
};

} // namespace

class TestHealth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A condition that stands is told once however often it is raised; its
    // end once, with how long it lasted; an event each time. The log has every
    // line; the error list only while "Visualizza Errori" is checked; the
    // balloon always.
    void conditionIsToldOnceAtItsStartAndEnd()
    {
        AlertParts parts;
        QSignalSpy balloons(&parts.alerts, &Alerts::alerted);
        for (int i = 0; i < 1000; ++i)
            parts.alerts.raise(u"a"_s, u"database non raggiungibile"_s, u"Errore #%1"_s.arg(i));
        parts.clock.advance(150);
        parts.alerts.raise(u"b"_s, u"altro"_s, QString(), parts.clock.now().addSecs(-30));
        parts.switches.Check1 = false;
        parts.alerts.end(u"a"_s);
        parts.alerts.end(u"a"_s);
        parts.alerts.event(u"scarico con 1 transiti non registrati"_s);
        parts.alerts.event(u"scarico con 1 transiti non registrati"_s);
        QCOMPARE(parts.told, (QStringList{u"Allarme: database non raggiungibile: Errore #0"_s,
                                          u"Allarme: altro"_s}));
        const QStringList logged = parts.logLines().filter(u"llarme"_s);
        QCOMPARE(logged.size(), 5);
        QVERIFY(logged[2].endsWith(u"Fine allarme: database non raggiungibile (durata 2 min)"_s));
        QCOMPARE(balloons.size(), 5);
        QCOMPARE(balloons[2], (QVariantList{u"Parvix: fine allarme"_s,
                                            u"database non raggiungibile (durata 2 min)"_s, true}));
        QCOMPARE(parts.alerts.raised(), QStringList{u"b"_s});
        parts.clock.advance(60);
        parts.alerts.end(u"b"_s);
        QVERIFY(parts.logLines().last().endsWith(u"Fine allarme: altro (durata 1 min)"_s));
        QCOMPARE((QStringList{Alerts::duration(59), Alerts::duration(3900),
                              Alerts::duration(86400 * 3 + 3600 * 4 + 59)}),
                 (QStringList{u"59 s"_s, u"1 h 05 min"_s, u"3 g 4 h"_s}));
    }

    void linkLostPastTheThreshold_data()
    {
        QTest::addColumn<QStringList>("steps"); // "minute action [terminal]"
        QTest::addColumn<QStringList>("told");
        const auto lost = [](int t) {
            return u"Allarme: terminale %1 (127.0.0.1%1) senza collegamento: da pi\u00f9 di 10 min"_s
                .arg(t);
        };
        const auto back = [](int t, int minutes) {
            return u"Fine allarme: terminale %1 (127.0.0.1%1) senza collegamento (durata %2 min)"_s
                .arg(t)
                .arg(minutes);
        };
        // Terminal 3 is in the table past NumTerminali: never watched.
        QTest::newRow("never linked") << QStringList{u"9 check"_s, u"10 check"_s, u"11 check"_s}
                                      << QStringList{lost(1), lost(2)};
        QTest::newRow("linked in time, by either event")
            << QStringList{u"5 up 1"_s, u"6 state 2"_s, u"60 check"_s} << QStringList();
        QTest::newRow("lost, then back")
            << QStringList{u"1 up 1"_s,   u"2 up 2"_s,  u"12 down 1"_s, u"21 check"_s,
                           u"22 check"_s, u"30 up 1"_s, u"31 up 1"_s}
            << QStringList{lost(1), back(1, 18)};
        QTest::newRow("taken out of the table")
            << QStringList{u"10 check"_s, u"11 drop 2"_s, u"11 check"_s}
            << QStringList{lost(1), lost(2), back(2, 11)};
        QTest::newRow("alert off") << QStringList{u"0 off"_s, u"100 check"_s} << QStringList();
    }

    void linkLostPastTheThreshold()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, told);
        AlertParts parts;
        TerminalTable& table = parts.registry.table;
        for (int slot = 0; slot < 3; ++slot) {
            table.NumTerminale[slot] = QString::number(slot + 1);
            table.IPTerminale[slot] = u"127.0.0.1%1"_s.arg(slot + 1);
        }
        Settings settings;
        settings.NumTerminali = 2;
        LinkWatch watch(table, settings, parts.control, parts.alerts, parts.clock);
        const QDateTime started = parts.clock.now();
        watch.start();
        for (const QString& step : std::as_const(steps)) {
            const QStringList words = step.split(u' ');
            parts.clock.set(started.addSecs(words[0].toInt() * 60));
            const QString address = u"127.0.0.1"_s + words.value(2);
            if (words[1] == u"check"_s)
                watch.check();
            else if (words[1] == u"up"_s)
                parts.control.raiseConnect(address);
            else if (words[1] == u"state"_s)
                parts.control.raiseStateChange(3, address, qint16(words[2].toInt()));
            else if (words[1] == u"down"_s)
                parts.control.raiseStateChange(0, address, qint16(words[2].toInt()));
            else if (words[1] == u"drop"_s)
                table.NumTerminale[words[2].toInt() - 1].clear();
            else
                watch.setThreshold(0);
        }
        QCOMPARE(parts.told, told);
        QCOMPARE(watch.configured(), steps.filter(u" drop "_s).isEmpty() ? 2 : 1);
    }

    // A folder that cannot take a file, and a disk under its free space.
    void storageProblemsAreAlerted()
    {
        AlertParts parts;
        StorageWatch watch(parts.alerts);
        const QString missing = parts.workspace.filePath(u"Manca"_s);
        watch.setFolders({{u"cartella del registro"_s, parts.workspace.filePath(u"Log"_s)},
                          {u"cartella di backup"_s, missing}});
        watch.setDisk(parts.workspace.path(), qint64(1) << 40);
        watch.check();
        watch.check();
        QCOMPARE(parts.told.size(), 2);
        QCOMPARE(parts.told[0],
                 u"Allarme: cartella di backup non scrivibile (%1): cartella assente"_s.arg(
                     QDir::toNativeSeparators(missing)));
        QVERIFY(parts.told[1].startsWith(
            u"Allarme: spazio libero sul disco della cartella di lavoro sotto 1099511627776 MB: "_s));
        QVERIFY(watch.freeBytes() > 0);
        QVERIFY(QDir().mkpath(missing));
        watch.setDisk(parts.workspace.path(), 0);
        watch.check();
        QCOMPARE(parts.told.size(), 4);
        QVERIFY(parts.told[2].startsWith(u"Fine allarme: cartella di backup"_s));
        QVERIFY(parts.told[3].startsWith(u"Fine allarme: spazio libero"_s));
        QCOMPARE(QDir(missing).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void thresholdsFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("megabytes");
        QTest::newRow("no file") << QByteArray() << 0 << 10 << 200;
        QTest::newRow("both") << QByteArray("5, 50\r\n") << 0 << 5 << 50;
        QTest::newRow("quoted, off") << QByteArray("\"0\",\"0\"\r\n") << 0 << 0 << 0;
        QTest::newRow("one field") << QByteArray("5\r\n") << 62 << 10 << 200;
        QTest::newRow("not a number") << QByteArray("dieci, 50\r\n") << 13 << 10 << 200;
        QTest::newRow("negative") << QByteArray("5, -1\r\n") << 6 << 10 << 200;
    }

    void thresholdsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        QFETCH(int, minutes);
        QFETCH(int, megabytes);
        TempWorkspace workspace;
        if (!content.isNull())
            workspace.write(AlertSettings::Path, content);
        AlertSettings settings;
        Error failure;
        QCOMPARE(AlertSettings::read(workspace.filePath(AlertSettings::Path), settings, failure),
                 error == 0);
        QCOMPARE(failure.number, error);
        QCOMPARE(settings.linkMinutes, minutes);
        QCOMPARE(settings.freeSpaceMB, megabytes);
    }

    // Through the whole server: a database gone for a thousand reads is one
    // alert, and its return one more; a faulty thresholds file is told and
    // the defaults hold.
    void databaseOutageIsOneAlert()
    {
        ServerFixture fixture({{u"1"_s, u"127.0.0.11"_s}});
        fixture.workspace.write(AlertSettings::Path, "10\r\n");
        QVERIFY2(fixture.useDatabase(), qPrintable(fixture.database->error()));
        QVERIFY(fixture.start());
        fixture.server->session().setRetryInterval(0);
        const auto alerts = [&] {
            return fixture.logLines().filter(u"llarme"_s);
        };
        QCOMPARE(fixture.logLines().filter(u"Errore #Allarmi.set  62 verificato"_s).size(), 1);
        QCOMPARE(fixture.server->health().thresholds().linkMinutes, 10);
        QVERIFY(fixture.database->setReachable(false));
        for (int i = 0; i < 1000; ++i)
            fixture.say(1, TestRecord{}.text());
        QCOMPARE(alerts().size(), 1);
        QVERIFY(alerts()[0].contains(u"Allarme: database non raggiungibile: Errore #"_s));
        QVERIFY(!fixture.server->health().databaseUp());
        QVERIFY(fixture.database->setReachable(true));
        fixture.clock.advance(125);
        fixture.say(1, TestRecord{}.text());
        QCOMPARE(alerts().size(), 2);
        QVERIFY(alerts()[1].endsWith(u"Fine allarme: database non raggiungibile (durata 2 min)"_s));
        QCOMPARE(fixture.server->health().lastDatabaseSuccess(), fixture.clock.now());
    }

    // The figures and the health summary follow what the server did: a read
    // confirmed, one rejected, one failed with the database gone; the port
    // given up.
    void figuresAndHealthFollowTheServer()
    {
        ServerFixture fixture({{u"1"_s, u"127.0.0.11"_s}, {u"2"_s, u"127.0.0.12"_s}});
        QVERIFY2(fixture.useDatabase(), qPrintable(fixture.database->error()));
        QVERIFY(fixture.start());
        ServerMetrics& metrics = fixture.server->metrics();
        fixture.control.raiseConnect(u"127.0.0.11"_s);
        fixture.say(1, TestRecord{}.text());
        fixture.say(1, TestRecord{.badge = u"0099"_s}.text());
        QByteArray health;
        QCOMPARE(metrics.health(health), 200);
        QVERIFY(health.contains(R"("status":"ok")"));
        fixture.server->session().setRetryInterval(0);
        QVERIFY(fixture.database->setReachable(false));
        fixture.say(1, TestRecord{}.text());
        const QByteArray text = metrics.exposition();
        for (const char* line :
             {"parvix_live_reads_total{outcome=\"confirmed\"} 1\n",
              "parvix_live_reads_total{outcome=\"rejected\"} 1\n",
              "parvix_live_reads_total{outcome=\"failed\"} 1\n",
              "parvix_confirmation_latency_seconds_count 1\n",
              "parvix_confirmation_latency_seconds_bucket{le=\"+Inf\"} 1\n",
              "parvix_terminals_configured 2\n", "parvix_terminals_linked 1\n",
              "parvix_terminal_port_listening 1\n", "parvix_database_up 0\n",
              "parvix_alerts_active 1\n", "parvix_spool_lines{state=\"pending\"} 0\n",
              "\nparvix_disk_free_bytes "})
            QVERIFY2(text.contains(line), line);
        QCOMPARE(metrics.health(health), 503);
        QVERIFY(health.contains(R"("reasons":["database non raggiungibile"])"));
        fixture.control.StopService();
        QCOMPARE(metrics.answer("/health").status, 503);
        QVERIFY(metrics.answer("/health").body.contains("porta dei terminali non in ascolto"));
        QCOMPARE(metrics.answer("/metrics").status, 200);
        QCOMPARE(metrics.answer("/other").status, 404);

        // Over HTTP; a port taken is told, and the endpoint open stays.
        QVERIFY(fixture.server->openEndpoint(QHostAddress::LocalHost, 0));
        const quint16 port = fixture.server->endpoint()->port();
        QVERIFY(httpGet(port, "/health", 503).contains("porta dei terminali non in ascolto"));
        QVERIFY(!fixture.server->openEndpoint(QHostAddress::LocalHost, port));
        QCOMPARE(fixture.server->endpoint()->port(), port);
        QCOMPARE(fixture.logLines()
                     .filter(u"Monitoraggio non avviato su 127.0.0.1:%1: "_s.arg(port))
                     .size(),
                 1);
        QVERIFY(httpGet(port, "/metrics").startsWith("# HELP parvix_live_reads_total"));
    }
};

QTEST_GUILESS_MAIN(TestHealth)
#include "tst_health.moc"
