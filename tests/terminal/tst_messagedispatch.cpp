#include "support/serverfixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// 07:30 on 06/12/26, badge 0042, "#A", position 3, order 24 1 00012 0.
const QString Record = QChar(2) + u"0730000612260042#A00003240100012"_s + QChar(3);

} // namespace

class TestMessageDispatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void presenceInAnyCaseAddsEntryAndGoesOn_data();
    void presenceInAnyCaseAddsEntryAndGoesOn();
    void echoFollowsVisualizzaComandi_data();
    void echoFollowsVisualizzaComandi();
    void logFilterAppliesToReceivedTraffic();
    void dispatchTakesFirstMatchingKind_data();
    void dispatchTakesFirstMatchingKind();
    void linkTypeNormalises_data();
    void linkTypeNormalises();
    void numberOutsideTableIsLoggedAndIgnored_data();
    void numberOutsideTableIsLoggedAndIgnored();

private:
    // Which seam a message reached: "dir", "transfer", "live" or "" for none.
    QString dispatched(const QString& message, qint16 NumTer = 1);

    std::unique_ptr<ServerFixture> m_fixture;
    QList<TransitRead> m_reads;
};

void TestMessageDispatch::init()
{
    m_fixture = std::make_unique<ServerFixture>(QList<QStringList>{{u"1"_s, u"127.0.0.11"_s}});
    QVERIFY(m_fixture->start());
    m_fixture->registry.clearPorts();
    m_reads.clear();
}

QString TestMessageDispatch::dispatched(const QString& message, qint16 NumTer)
{
    MessageDispatch& dispatch = m_fixture->server->dispatch();
    QString kind;
    QObject context;
    connect(&dispatch, &MessageDispatch::directoryReply, &context, [&](const ReceivedMessage& m) {
        kind += u"dir"_s;
        QCOMPARE(m.text, message);
    });
    connect(&dispatch, &MessageDispatch::transferMessage, &context,
            [&](const ReceivedMessage&) { kind += u"transfer"_s; });
    connect(&dispatch, &MessageDispatch::liveRead, &context, [&](const TransitRead& read) {
        kind += u"live"_s;
        m_reads.append(read);
    });
    m_fixture->control.raiseData(u"127.0.0.11"_s, message, NumTer);
    return kind;
}

void TestMessageDispatch::presenceInAnyCaseAddsEntryAndGoesOn_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("kind");
    QTest::newRow("upper") << u"0001TRAX"_s << true << QString();
    QTest::newRow("mixed, longer") << u"abcdtRaX 12"_s << true << QString();
    QTest::newRow("four characters") << u"TRAX"_s << false << QString();
    QTest::newRow("presence that is also a directory reply") << u"DIR TRAX"_s << true << u"dir"_s;
}

void TestMessageDispatch::presenceInAnyCaseAddsEntryAndGoesOn()
{
    QFETCH(QString, message);
    QFETCH(bool, present);
    QFETCH(QString, kind);
    QCOMPARE(dispatched(message), kind);
    QCOMPARE(m_fixture->registry.Lst_Port(),
             present ? QStringList{u"[Num: 1 - IP: 127.0.0.11] Connesso\r\n"_s} : QStringList());
    QCOMPARE(m_fixture->workspace.exists(u"Log/StatoPorteQZ.txt"_s), present);
}

void TestMessageDispatch::echoFollowsVisualizzaComandi_data()
{
    QTest::addColumn<bool>("echo");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void TestMessageDispatch::echoFollowsVisualizzaComandi()
{
    QFETCH(bool, echo);
    m_fixture->switches.OPT1 = echo;
    QSignalSpy messages(m_fixture->server.get(), &ParvixServer::messageAdded);
    dispatched(u"hello"_s, 3);
    QCOMPARE(messages.size(), echo ? 2 : 0);
    if (echo) {
        QCOMPARE(messages[0][0].toString(), u"[127.0.0.11] Term: 3\r\n"_s);
        QCOMPARE(messages[1][0].toString(), u"hello\r\n"_s);
    }
    QVERIFY(m_fixture->logLines().last().endsWith(u" [127.0.0.11] Term: 3 - Msg: hello"_s));
}

void TestMessageDispatch::logFilterAppliesToReceivedTraffic()
{
    QCOMPARE(dispatched(u"0001TRAX"_s), QString());
    QCOMPARE(dispatched(u"DIR PASSAGGI ?*"_s), u"dir"_s);
    QVERIFY(m_fixture->logLines().isEmpty());
    m_fixture->switches.SalvaT = true;
    dispatched(u"0001TRAX"_s);
    QCOMPARE(m_fixture->logLines().size(), 1);
}

void TestMessageDispatch::dispatchTakesFirstMatchingKind_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("inTransfer"); // TermInScarico with InScarico on; 0: no transfer
    QTest::addColumn<QString>("kind");

    QTest::newRow("directory reply wins over the transfer")
        << u" DIR PASSAGGI ?*"_s << 1 << u"dir"_s;
    QTest::newRow("lock acknowledgement in transfer") << u"CONSIDLE"_s << 1 << u"transfer"_s;
    QTest::newRow("record of the terminal in transfer") << Record << 1 << u"transfer"_s;
    QTest::newRow("record while another transfers") << Record << 2 << u"live"_s;
    QTest::newRow("record, no transfer") << Record << 0 << u"live"_s;
    QTest::newRow("unlock acknowledgement, no transfer") << u"OFFLINE"_s << 0 << QString();
    QTest::newRow("33 characters") << Record.left(32) + QChar(3) << 0 << QString();
    QTest::newRow("35 characters") << Record.left(33) + u"0"_s + QChar(3) << 0 << QString();
    QTest::newRow("no end of text") << Record.left(33) + u"0"_s << 0 << QString();
    QTest::newRow("empty") << QString() << 0 << QString();
    QTest::newRow("blanks") << u"      "_s << 0 << QString();
    QTest::newRow("4096 bytes of garbage") << QString(4096, QChar(0xfe)) << 0 << QString();
}

void TestMessageDispatch::dispatchTakesFirstMatchingKind()
{
    QFETCH(QString, message);
    QFETCH(int, inTransfer);
    QFETCH(QString, kind);
    m_fixture->registry.InScarico = inTransfer != 0;
    m_fixture->registry.TermInScarico = inTransfer;
    m_fixture->control.clearCalls();

    QCOMPARE(dispatched(message), kind);
    QCOMPARE(m_fixture->registry.NumRicevuto, 1);
    QCOMPARE(m_fixture->registry.IPRicevuto, u"127.0.0.11"_s);
    if (kind.isEmpty())
        QVERIFY(m_fixture->control.sends().isEmpty()); // an ignored message gets no reply
    if (kind == u"live"_s) {
        QCOMPARE(m_reads.size(), 1);
        QCOMPARE(m_reads[0].NumTer, qint16(1));
        QCOMPARE(m_reads[0].IPTer, u"127.0.0.11"_s);
        QCOMPARE(m_reads[0].RecordTransito, Record);
        QCOMPARE(m_reads[0].CodiceFunzione, u"#A"_s);
        QCOMPARE(m_fixture->registry.RecordTransito, Record);
    }
}

void TestMessageDispatch::linkTypeNormalises_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("logged");
    QTest::newRow("type 1 drops a leading character")
        << 1 << u"X"_s + Record << u"live"_s << Record;
    QTest::newRow("type 2 keeps it") << 2 << u"X"_s + Record << QString() << u"X"_s + Record;
    QTest::newRow("other types carry nothing") << 5 << Record << QString() << QString();
}

void TestMessageDispatch::linkTypeNormalises()
{
    QFETCH(int, linkType);
    QFETCH(QString, data);
    QFETCH(QString, kind);
    QFETCH(QString, logged);
    m_fixture->control.setLinkType(static_cast<qint16>(linkType));
    QCOMPARE(dispatched(data), kind);
    QVERIFY(
        m_fixture->logLines().filter(u" - Msg: "_s).last().endsWith(u"Term: 1 - Msg: "_s + logged));
}

void TestMessageDispatch::numberOutsideTableIsLoggedAndIgnored_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("21") << 21;
    QTest::newRow("negative") << -1;
}

void TestMessageDispatch::numberOutsideTableIsLoggedAndIgnored()
{
    QFETCH(int, number);
    QCOMPARE(dispatched(u"0001TRAX"_s, static_cast<qint16>(number)), QString());
    QCOMPARE(dispatched(Record, static_cast<qint16>(number)), QString());
    QVERIFY(m_fixture->registry.Lst_Port().isEmpty());
    QVERIFY(m_fixture->registry.IPRicevuto.isEmpty());
    QVERIFY(m_fixture->logLines().last().contains(u"fuori dall'intervallo 0-20"_s));
}

QTEST_GUILESS_MAIN(TestMessageDispatch)
#include "tst_messagedispatch.moc"
