#include "app/server.h"
#include "support/faultproxy.h"
#include "support/freeport.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"
#include "support/testparameters.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int CommandTimeoutMs = 2000;
constexpr int PresenceEveryMs = 100;
constexpr int ReadEveryMs = 700;

} // namespace

// The real server reaches PostgreSQL (native driver or psqlODBC, as
// PARVIX_TEST_BACKEND says) through a relay that stalls, resets, delays or
// refuses, with time-outs of 2 s in Connection.set. Whatever the link does,
// the server keeps serving terminals, every read gets its confirmation or its
// failure lines, nothing is posted twice, and once the link is back the next
// read is confirmed without a restart.
class TestDatabaseLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void serverOutlastsTheLink_data();
    void serverOutlastsTheLink();

private:
    // A read of badge 0042 at 07:MM from terminal 1.
    void sendRead(int minute);
    bool confirmed(int minute) const;
    // Whether the log has an error line for the read at 07:MM.
    bool failedWithItsLines(int minute) const;

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<FaultProxy> m_proxy;
    std::unique_ptr<SimulatedTerminals> m_terminals;
    QProcess m_server;
    std::unique_ptr<ProcessLines> m_serverLines;
};

void TestDatabaseLink::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    m_workspace->writeCompleteSettings();
    m_database = std::make_unique<TestDatabase>(m_workspace->path());
    QVERIFY2(m_database->isValid(), qPrintable(m_database->error()));
    m_proxy = std::make_unique<FaultProxy>(quint16(testParameter("PARVIX_PG_PORT", 55432)));
    m_terminals = std::make_unique<SimulatedTerminals>();
    QVERIFY(m_terminals->start(*m_workspace, {u"127.0.0.11=1"_s, u"127.0.0.12=2"_s}));
    m_workspace->writeCompleteSettings(m_terminals->table());
    m_workspace->write(u"Set/Connection.set"_s,
                       '"' + m_database->connectionString(m_proxy->port()).toLatin1() +
                           ";Connect Timeout=2;Command Timeout=2\"\r\n");
    m_serverLines = std::make_unique<ProcessLines>(m_server);
    m_server.setWorkingDirectory(m_workspace->path());
    m_server.start(QString::fromLatin1(PARVIX_BINARY),
                   {u"--headless"_s, u"--time-scale"_s, u"0.01"_s, u"--listen-port"_s,
                    QString::number(freeLoopbackPort())});
    QVERIFY(m_server.waitForStarted(5000));
    QVERIFY(m_serverLines->waitFor(u"[port] [Num: 2"_s));
}

void TestDatabaseLink::cleanup()
{
    m_server.kill();
    m_server.waitForFinished(5000);
}

void TestDatabaseLink::sendRead(int minute)
{
    m_terminals->send("read 1 0042 #C 1 0 07" + QByteArray::number(minute).rightJustified(2, '0') +
                      " 061226\n");
}

bool TestDatabaseLink::confirmed(int minute) const
{
    return !m_terminals->output()
                .lines()
                .filter(u"127.0.0.11 display: KTessera n. 42|"_s)
                .filter(u"07:%1"_s.arg(minute, 2, 10, QChar(u'0')))
                .isEmpty();
}

bool TestDatabaseLink::failedWithItsLines(int minute) const
{
    const QString read = QChar(2) + u"07%1"_s.arg(minute, 2, 10, QChar(u'0'));
    const QStringList log = m_workspace->lines(u"Log/RegistroQZ.txt"_s);
    for (qsizetype i = 0; i < log.size(); ++i) {
        if (!log[i].contains(u" - Msg: "_s + read))
            continue;
        for (qsizetype j = i + 1; j < log.size() && !log[j].contains(u" - Msg: \x02"_s); ++j) {
            if (log[j].contains(u"Errore #"_s))
                return true;
        }
    }
    return false;
}

void TestDatabaseLink::serverOutlastsTheLink_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("terminate"); // SIGTERM while the link is down
    QTest::newRow("stall") << int(FaultProxy::Fault::Stall) << false;
    QTest::newRow("stall, then SIGTERM") << int(FaultProxy::Fault::Stall) << true;
    QTest::newRow("reset") << int(FaultProxy::Fault::Reset) << false;
    QTest::newRow("delay") << int(FaultProxy::Fault::Delay) << false;
    QTest::newRow("refuse") << int(FaultProxy::Fault::Refuse) << false;
}

void TestDatabaseLink::serverOutlastsTheLink()
{
    QFETCH(int, fault);
    QFETCH(bool, terminate);
    sendRead(0);
    QTRY_VERIFY_WITH_TIMEOUT(confirmed(0), 10000);

    m_proxy->set(FaultProxy::Fault(fault), 50);
    // Presence messages need no database: how long one waits for its answer
    // is how long the server could serve nobody.
    const QString answer = u"[port] [Num: 2"_s;
    const qsizetype answeredBefore = m_serverLines->count(answer);
    QList<qint64> waiting; // when each unanswered presence was sent
    qint64 worstStall = 0;
    qint64 exitMs = -1;
    int reads = 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 presences = 0; clock.elapsed() < 2 * CommandTimeoutMs + 1500;) {
        if (clock.elapsed() >= presences * PresenceEveryMs) {
            m_terminals->send("presence 2\n");
            waiting.append(clock.elapsed());
            ++presences;
        }
        if (reads < 4 && clock.elapsed() >= reads * ReadEveryMs)
            sendRead(++reads);
        if (terminate && clock.elapsed() >= 500) {
            ::kill(static_cast<pid_t>(m_server.processId()), SIGTERM);
            QVERIFY2(m_server.waitForFinished(CommandTimeoutMs + 2000),
                     "SIGTERM not served within the command time-out and 2 s");
            exitMs = clock.elapsed() - 500;
            break;
        }
        QTest::qWait(5);
        const qsizetype answered = m_serverLines->count(answer) - answeredBefore;
        while (presences - waiting.size() < answered && !waiting.isEmpty())
            waiting.removeFirst();
        if (!waiting.isEmpty())
            worstStall = qMax(worstStall, clock.elapsed() - waiting.first());
    }
    qInfo().noquote() << u"figures: database link %1 via %2: worst stall %3 ms (command "
                         "time-out %4 ms)%5"_s
                             .arg(QString::fromLatin1(QTest::currentDataTag()),
                                  m_database->backend())
                             .arg(worstStall)
                             .arg(CommandTimeoutMs)
                             .arg(exitMs >= 0 ? u", SIGTERM served after %1 ms"_s.arg(exitMs)
                                              : QString());
    QVERIFY2(worstStall <= CommandTimeoutMs + 1000, qPrintable(QString::number(worstStall)));
    if (terminate)
        return;

    // Every read got its confirmation or its failure lines.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int minute = 1; minute <= reads; ++minute) {
                if (!confirmed(minute) && !failedWithItsLines(minute))
                    return false;
            }
            return true;
        }(),
        CommandTimeoutMs * 3);
    // The link is back: once the server has left the database alone for its
    // few seconds, the next read is confirmed, the server not restarted.
    m_proxy->set(FaultProxy::Fault::None);
    QTest::qWait(ParvixServer::RetryInterval);
    sendRead(++reads);
    QTRY_VERIFY_WITH_TIMEOUT(confirmed(reads), 2 * CommandTimeoutMs);
    QCOMPARE(m_database->rows(u"SELECT Ora, Minuti FROM Presenze GROUP BY Ora, Minuti HAVING "
                              "COUNT(*) > 1"_s),
             QStringList());
    QCOMPARE(m_server.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestDatabaseLink)
#include "tst_databaselink.moc"
