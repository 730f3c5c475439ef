#include "app/activitylog.h"
#include "app/datedline.h"
#include "app/portstatusfile.h"
#include "app/switches.h"
#include "support/tempworkspace.h"
#include "support/testclock.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestActivityLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void filtersReceivedTraffic_data();
    void filtersReceivedTraffic();
    void otherCallersAreNeverFiltered();
    void lineHasRegionalDateTimeAndCrLf();
    void rotatesOnlyPastOneMillionBytes_data();
    void rotatesOnlyPastOneMillionBytes();
    void rotationKeepsLogWhenDatedNameTaken();
    void firstLineRemovesOldLog();
    void spyWritesOnlyWhenTraceOn();
    void unwritableLogLosesLineSilently();
    void logMovedOrRemovedIsFollowedAtOnce();
    void portStatusFileStartsAfreshAndAppends();

private:
    QString logPath() const { return m_workspace->filePath(u"Log/RegistroQZ.txt"_s); }
    QStringList logLines() const { return m_workspace->lines(u"Log/RegistroQZ.txt"_s); }

    std::unique_ptr<TempWorkspace> m_workspace;
    TestClock m_clock;
    Switches m_switches;
    std::unique_ptr<ActivityLog> m_log;
};

void TestActivityLog::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QDir(m_workspace->path()).mkpath(u"Log"_s);
    m_switches = Switches();
    m_clock.set(QDateTime(QDate(2026, 12, 6), QTime(10, 30, 0)));
    m_log = std::make_unique<ActivityLog>(m_clock, m_switches);
    m_log->setLocation(m_workspace->path(), u"Log"_s);
}

void TestActivityLog::filtersReceivedTraffic_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("saveAll");
    QTest::addColumn<bool>("logged");
    QTest::newRow("presence") << u"0001TRAX0002"_s << false << false;
    QTest::newRow("presence any case") << u"abcdtRaX"_s << false << false;
    QTest::newRow("presence kept with Salva Tutto") << u"0001TRAX"_s << true << true;
    QTest::newRow("no-file reply") << u"DIR PASSAGGI ?*"_s << false << false;
    QTest::newRow("no-file reply kept with Salva Tutto") << u"DIR PASSAGGI ?*"_s << true << true;
    QTest::newRow("no-file reply lower case") << u"dir passaggi ?*"_s << false << true;
    QTest::newRow("reply with a file") << u"DIR PASSAGGI ?* "_s << false << true;
    QTest::newRow("four characters") << u"TRAX"_s << false << true;
    QTest::newRow("TRAX elsewhere") << u"00001TRAX"_s << false << true;
}

void TestActivityLog::filtersReceivedTraffic()
{
    QFETCH(QString, message);
    QFETCH(bool, saveAll);
    QFETCH(bool, logged);
    m_switches.SalvaT = saveAll;
    m_log->logReceived(message, u"[127.0.0.11] Term: 1 - Msg: "_s + message);
    QCOMPARE(logLines().size(), logged ? 1 : 0);
    // The filter looks at the received message only while it is being logged.
    m_log->LogFile(u"after"_s);
    QVERIFY(logLines().last().endsWith(u" after"_s));
}

void TestActivityLog::otherCallersAreNeverFiltered()
{
    m_log->LogFile(u"0001TRAX"_s);
    m_log->LogFile(u"DIR PASSAGGI ?*"_s);
    QCOMPARE(logLines().size(), 2);
}

void TestActivityLog::lineHasRegionalDateTimeAndCrLf()
{
    m_log->LogFile(u"Num Term:3 Errore:5 - x"_s);
    const QByteArray expected = DatedLine::make(m_clock.now(), u"Num Term:3 Errore:5 - x"_s);
    QCOMPARE(m_workspace->read(u"Log/RegistroQZ.txt"_s), expected);
    QVERIFY(expected.endsWith(" Num Term:3 Errore:5 - x\r\n"));
    QVERIFY(expected.startsWith(
        QLocale::system().toString(m_clock.now().date(), QLocale::ShortFormat).toLatin1() + ' '));
}

void TestActivityLog::rotatesOnlyPastOneMillionBytes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("exactly 1,000,000") << 1000000 << false;
    QTest::newRow("1,000,001") << 1000001 << true;
}

void TestActivityLog::rotatesOnlyPastOneMillionBytes()
{
    QFETCH(int, size);
    QFETCH(bool, rotated);
    const QByteArray full(size, 'x');
    m_workspace->write(u"Log/RegistroQZ.txt"_s, full);
    m_log->LogFile(u"next"_s);
    QCOMPARE(m_workspace->exists(u"Log/Reg061226.txt"_s), rotated);
    if (rotated) {
        QCOMPARE(m_workspace->read(u"Log/Reg061226.txt"_s), full);
        QCOMPARE(logLines().size(), 1);
        QVERIFY(logLines().first().endsWith(u" next"_s));
    } else {
        QVERIFY(m_workspace->read(u"Log/RegistroQZ.txt"_s).startsWith(full));
    }
}

void TestActivityLog::rotationKeepsLogWhenDatedNameTaken()
{
    m_workspace->write(u"Log/Reg061226.txt"_s, "morning");
    const QByteArray second(1000001, 'b');
    m_workspace->write(u"Log/RegistroQZ.txt"_s, second);
    m_log->LogFile(u"one"_s);
    const QByteArray third(1000001, 'c');
    m_workspace->write(u"Log/RegistroQZ.txt"_s, third);
    m_log->LogFile(u"two"_s);

    QCOMPARE(m_workspace->read(u"Log/Reg061226.txt"_s), QByteArray("morning"));
    QCOMPARE(m_workspace->read(u"Log/Reg061226_1.txt"_s), second);
    QCOMPARE(m_workspace->read(u"Log/Reg061226_2.txt"_s), third);
    QCOMPARE(logLines().size(), 1);
    QVERIFY(logLines().first().endsWith(u" two"_s));
}

void TestActivityLog::firstLineRemovesOldLog()
{
    m_workspace->write(u"Log/Old_RegistroQZ.txt"_s, "old");
    m_log->LogFile(u"first"_s);
    QVERIFY(!m_workspace->exists(u"Log/Old_RegistroQZ.txt"_s));
    QCOMPARE(logLines().size(), 1);
}

void TestActivityLog::spyWritesOnlyWhenTraceOn()
{
    m_log->SpY(205);
    QVERIFY(!m_workspace->exists(u"Log/RegistroQZ.txt"_s));
    m_switches.TraceON = true;
    m_log->SpY(205);
    m_log->SpY(401);
    QCOMPARE(logLines().size(), 2);
    QVERIFY(logLines()[0].endsWith(u" SpY:205"_s));
    QVERIFY(logLines()[1].endsWith(u" SpY:401"_s));
}

// The file stays open between lines, yet the next line always goes to the path.
void TestActivityLog::logMovedOrRemovedIsFollowedAtOnce()
{
    m_log->LogFile(u"one"_s);
    QVERIFY(QFile::rename(logPath(), m_workspace->filePath(u"Log/archived.txt"_s)));
    m_log->LogFile(u"two"_s);
    QVERIFY(QFile::remove(logPath()));
    m_log->LogFile(u"three"_s);
    QCOMPARE(m_workspace->lines(u"Log/archived.txt"_s).size(), 1);
    QCOMPARE(logLines().size(), 1);
    QVERIFY(logLines().first().endsWith(u" three"_s));
}

void TestActivityLog::unwritableLogLosesLineSilently()
{
    m_log->setLocation(m_workspace->path(), u"NoSuchFolder"_s);
    m_log->LogFile(u"lost"_s);
    QVERIFY(!m_workspace->exists(u"NoSuchFolder"_s));

    // A log path taken by a folder cannot be opened or moved.
    QDir(m_workspace->path()).mkpath(u"Log/RegistroQZ.txt"_s);
    m_log->setLocation(m_workspace->path(), u"Log"_s);
    m_log->LogFile(u"lost too"_s);
    QVERIFY(QFileInfo(logPath()).isDir());

    QDir(m_workspace->path()).mkpath(u"NoSuchFolder"_s);
    m_log->setLocation(m_workspace->path(), u"NoSuchFolder"_s);
    m_log->LogFile(u"kept"_s);
    QCOMPARE(m_workspace->lines(u"NoSuchFolder/RegistroQZ.txt"_s).size(), 1);
}

void TestActivityLog::portStatusFileStartsAfreshAndAppends()
{
    PortStatusFile status(m_clock);
    status.setLocation(m_workspace->path(), u"Log"_s);
    status.StatoPorte(QString(), 1); // deleting a missing file does nothing
    QVERIFY(!m_workspace->exists(u"Log/StatoPorteQZ.txt"_s));

    status.StatoPorte(u"[Num: 1 - IP: 127.0.0.11] Connesso"_s, 0);
    m_clock.advance(1);
    status.StatoPorte(u"[Num: 3 - IP: 127.0.0.13] Connesso"_s, 0);
    const QStringList lines = m_workspace->lines(u"Log/StatoPorteQZ.txt"_s);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(u" [Num: 1 - IP: 127.0.0.11] Connesso"_s));
    QVERIFY(lines[1].endsWith(u" [Num: 3 - IP: 127.0.0.13] Connesso"_s));

    status.StatoPorte(QString(), 1);
    QVERIFY(!m_workspace->exists(u"Log/StatoPorteQZ.txt"_s));

    status.setLocation(m_workspace->path(), u"Missing"_s);
    status.StatoPorte(u"lost"_s, 0);
    QVERIFY(!m_workspace->exists(u"Missing"_s));
}

QTEST_GUILESS_MAIN(TestActivityLog)
#include "tst_activitylog.moc"
