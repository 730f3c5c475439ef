#include "app/recordwriter.h"
#include "support/serverfixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QList<QStringList> terminals(int count)
{
    QList<QStringList> result;
    for (int n = 1; n <= count; ++n)
        result.append({QString::number(n), u"127.0.0.%1"_s.arg(10 + n)});
    return result;
}

QStringList addressesOf(const QList<FakeNetworkControl::Call>& calls, const QString& operation)
{
    QStringList addresses;
    for (const auto& call : calls) {
        if (call.operation == operation)
            addresses.append(call.IPTer);
    }
    return addresses;
}

} // namespace

class TestConnections : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void collegaGreetsActiveSlots_data();
    void collegaGreetsActiveSlots();
    void countBeyondTheTableNamesTheLastTerminal();
    void failedOpenGetsNoGreeting();
    void unparsableAddressIsReportedAndPassedOver_data();
    void unparsableAddressIsReportedAndPassedOver();
    void connectEventNamesTheTerminalThatConnected();
    void terminalCallingInIsEnteredAndLinkedBack();
    void reconnectsOnSixteenthTickOnly();
    void reconnectsOnceTwoSecondsAfterStartup();
    void portEntryReadsBack_data();
    void portEntryReadsBack();
};

void TestConnections::collegaGreetsActiveSlots_data()
{
    QTest::addColumn<QList<QStringList>>("table");
    QTest::addColumn<QByteArray>("count"); // ParvixIP.set
    QTest::addColumn<QStringList>("contacted");

    QTest::newRow("none") << terminals(3) << QByteArray("0,0,0") << QStringList();
    QTest::newRow("three") << terminals(3) << QByteArray("3,0,0")
                           << QStringList{u"127.0.0.11"_s, u"127.0.0.12"_s, u"127.0.0.13"_s};
    QList<QStringList> skipped = terminals(7);
    skipped[1][0] = u"0"_s;
    skipped[3][0] = QString();
    skipped[4][0] = u"-4"_s;
    QTest::newRow("five of seven, unused slots skipped")
        << skipped << QByteArray("5,0,0") << QStringList{u"127.0.0.11"_s, u"127.0.0.13"_s};
}

void TestConnections::collegaGreetsActiveSlots()
{
    QFETCH(QList<QStringList>, table);
    QFETCH(QByteArray, count);
    QFETCH(QStringList, contacted);
    ServerFixture fixture(table);
    fixture.workspace.write(u"Set/ParvixIP.set"_s, count);
    fixture.workspace.write(u"Log/StatoPorteQZ.txt"_s, "old\r\n");
    QVERIFY(fixture.start());

    QCOMPARE(addressesOf(fixture.control.calls(), u"OpenLink"_s), contacted);
    QCOMPARE(addressesOf(fixture.control.calls(), u"SendText"_s), contacted);
    for (const auto& send : fixture.control.sends()) {
        QCOMPARE(send.text, u"%XI"_s);
        QCOMPARE(send.length, qint16(3));
        QCOMPARE(u"127.0.0.%1"_s.arg(10 + send.NumTer), send.IPTer);
    }
    // The pass starts the port list and the status file afresh; only events refill them.
    QVERIFY(fixture.registry.Lst_Port().isEmpty());
    QVERIFY(!fixture.workspace.exists(u"Log/StatoPorteQZ.txt"_s));
}

// More terminals counted than the table has slots: the pass greets the
// slots there are, then names the terminal addressed last.
void TestConnections::countBeyondTheTableNamesTheLastTerminal()
{
    ServerFixture fixture(terminals(3));
    fixture.workspace.write(u"Set/ParvixIP.set"_s, "25,0,0");
    QVERIFY(fixture.start());
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 3);
    QCOMPARE(fixture.logLines().filter(u"Errore:"_s).size(), 1);
    QVERIFY(fixture.logLines()
                .filter(u"Errore:"_s)
                .first()
                .endsWith(u" Num Term:0 Errore:9 - Indice non compreso nell'intervallo"_s));
}

void TestConnections::failedOpenGetsNoGreeting()
{
    ServerFixture fixture(terminals(2));
    fixture.control.setResult(u"OpenLink"_s, NetworkControl::ServiceStopped);
    QVERIFY(fixture.start());
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 2);
    QVERIFY(fixture.control.sends().isEmpty());
    QVERIFY(fixture.logLines().isEmpty());
}

void TestConnections::unparsableAddressIsReportedAndPassedOver_data()
{
    QTest::addColumn<bool>("showErrors");
    QTest::newRow("Visualizza Errori") << true;
    QTest::newRow("errors hidden") << false;
}

void TestConnections::unparsableAddressIsReportedAndPassedOver()
{
    QFETCH(bool, showErrors);
    ServerFixture fixture(
        {{u"1"_s, u"127.0.0.11"_s}, {u"2"_s, u"terminal two"_s}, {u"3"_s, u"127.0.0.13"_s}});
    fixture.switches.Check1 = showErrors;
    QVERIFY(fixture.start());
    fixture.control.clearCalls();
    fixture.control.setResult(u"OpenLink"_s, NetworkControl::BadAddress);
    QSignalSpy errors(fixture.server.get(), &ParvixServer::errorAdded);
    fixture.registry.table.IPTerminale[0] = u"terminal one"_s;
    fixture.server->connections().Collega();

    const QString text = u"Num Term:1 Errore:2 - Indirizzo non valido: terminal one"_s;
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 3);
    QVERIFY(fixture.logLines().last().endsWith(
        u"Num Term:3 Errore:2 - Indirizzo non valido: 127.0.0.13"_s));
    QVERIFY(fixture.logLines()[fixture.logLines().size() - 3].endsWith(text));
    QCOMPARE(errors.size(), showErrors ? 3 : 0);
    if (showErrors)
        QCOMPARE(errors[0][0].toString(), text);
}

void TestConnections::connectEventNamesTheTerminalThatConnected()
{
    ServerFixture fixture(terminals(3));
    QVERIFY(fixture.start());
    QSignalSpy ports(&fixture.registry, &TerminalRegistry::portAdded);
    // Collega has moved on to slot 3 when the links come up, in any order.
    fixture.control.raiseConnect(u"127.0.0.12"_s);
    fixture.control.raiseConnect(u"127.0.0.11"_s);
    fixture.control.raiseConnect(u"127.0.0.99"_s); // not in the table: the terminal addressed last
    QCOMPARE(fixture.registry.Lst_Port(),
             (QStringList{u"[Num: 2 - IP: 127.0.0.12] Connesso\r\n"_s,
                          u"[Num: 1 - IP: 127.0.0.11] Connesso\r\n"_s,
                          u"[Num: 3 - IP: 127.0.0.99] Connesso\r\n"_s}));
    QCOMPARE(ports.size(), 3);
    const QStringList status = fixture.workspace.lines(u"Log/StatoPorteQZ.txt"_s);
    QCOMPARE(status.size(), 3);
    QVERIFY(status[0].endsWith(u" [Num: 2 - IP: 127.0.0.12] Connesso"_s));
}

void TestConnections::terminalCallingInIsEnteredAndLinkedBack()
{
    ServerFixture fixture(terminals(3));
    QVERIFY(fixture.start());
    fixture.control.clearCalls();
    fixture.control.setResult(u"OpenLink"_s, 7);
    fixture.control.raiseStateChange(3, u"127.0.0.12"_s, 2);
    fixture.control.raiseStateChange(3, u"127.0.0.12"_s, 2);
    fixture.control.raiseStateChange(0, u"127.0.0.13"_s, 3);
    QCOMPARE(fixture.registry.Lst_Port().size(), 2);
    QCOMPARE(fixture.registry.Lst_Port()[0], u"[Num: 2 - IP: 127.0.0.12] Connesso\r\n"_s);
    QCOMPARE(fixture.control.operations(), (QStringList{u"OpenLink"_s, u"OpenLink"_s}));
    QCOMPARE(fixture.registry.EsitoInvio, qint16(7));
    QCOMPARE(fixture.workspace.lines(u"Log/StatoPorteQZ.txt"_s).size(), 2);
}

void TestConnections::reconnectsOnSixteenthTickOnly()
{
    ServerFixture fixture(terminals(2));
    QVERIFY(fixture.start());
    QTest::qWait(20); // past the one-shot reconnection two (scaled) seconds after start-up
    fixture.control.clearCalls();
    Connections& connections = fixture.server->connections();
    for (int tick = 1; tick <= 15; ++tick)
        connections.Timer4Tick();
    QCOMPARE(fixture.registry.ContaCollega, qint16(15));
    QVERIFY(fixture.control.calls().isEmpty());
    connections.Timer4Tick();
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 2);
    QCOMPARE(fixture.registry.ContaCollega, qint16(0));
    connections.Timer4Tick();
    QCOMPARE(fixture.registry.ContaCollega, qint16(1));
}

void TestConnections::reconnectsOnceTwoSecondsAfterStartup()
{
    ServerFixture fixture(terminals(2));
    QVERIFY(fixture.start());
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 2);
    QTRY_COMPARE(fixture.control.operations().count(u"OpenLink"_s), 4);
    QTest::qWait(30);
    QCOMPARE(fixture.control.operations().count(u"OpenLink"_s), 4);
}

void TestConnections::portEntryReadsBack_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("address");
    QTest::newRow("one digit") << 7 << u"127.0.0.5"_s;
    QTest::newRow("two digits") << 12 << u"127.0.0.5"_s;
    QTest::newRow("long address") << 20 << u"127.0.0.31"_s;
    QTest::newRow("with port") << 3 << u"127.0.0.13:9000"_s;
}

void TestConnections::portEntryReadsBack()
{
    QFETCH(int, number);
    QFETCH(QString, address);
    const QString entry = TerminalRegistry::portEntryText(number, address);
    QCOMPARE(entry, u"[Num: %1 - IP: %2] Connesso\r\n"_s.arg(number).arg(address));
    const TerminalRegistry::PortEntry read = TerminalRegistry::readPortEntry(entry);
    QCOMPARE(read.number, qint16(number));
    QCOMPARE(read.address, address);
}

QTEST_GUILESS_MAIN(TestConnections)
#include "tst_connections.moc"
