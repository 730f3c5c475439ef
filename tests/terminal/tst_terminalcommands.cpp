#include "support/serverfixture.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestTerminalCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void commandsSendExactTexts_data();
    void commandsSendExactTexts();
    void cancellaWaitsAndStillSendsToItsTerminal();

private:
    std::unique_ptr<ServerFixture> m_fixture;
};

void TestTerminalCommands::init()
{
    m_fixture = std::make_unique<ServerFixture>();
    QVERIFY(m_fixture->start());
    m_fixture->control.clearCalls();
}

void TestTerminalCommands::commandsSendExactTexts_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::newRow("CercaFile") << u"CercaFile"_s << u"DIR PASSAGGI"_s;
    QTest::newRow("Blocca") << u"Blocca"_s << u"CONSIDLE"_s;
    QTest::newRow("Scarico") << u"Scarico"_s << u"TYPE PASSAGGI"_s;
    QTest::newRow("Sblocca") << u"Sblocca"_s << u"OFFLINE"_s;
}

void TestTerminalCommands::commandsSendExactTexts()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    TerminalCommands& commands = m_fixture->server->commands();
    const std::map<QString, void (TerminalCommands::*)(qint16, const QString&)> byName{
        {u"CercaFile"_s, &TerminalCommands::CercaFile},
        {u"Blocca"_s, &TerminalCommands::Blocca},
        {u"Scarico"_s, &TerminalCommands::Scarico},
        {u"Sblocca"_s, &TerminalCommands::Sblocca}};
    m_fixture->control.setResult(u"SendText"_s, 4);
    (commands.*byName.at(command))(12, u"127.0.0.22"_s);

    const auto sends = m_fixture->control.sends();
    QCOMPARE(sends.size(), 1);
    QCOMPARE(sends[0].text, text);
    QCOMPARE(sends[0].length, qint16(text.size()));
    QCOMPARE(sends[0].NumTer, qint16(12));
    QCOMPARE(sends[0].IPTer, u"127.0.0.22"_s);
    const TerminalRegistry& registry = m_fixture->registry;
    QCOMPARE(registry.IPCorrente, u"127.0.0.22"_s);
    QCOMPARE(registry.NumCorrente, 12);
    QCOMPARE(registry.Comando, text);
    QCOMPARE(registry.LenComando, qint32(text.size()));
    QCOMPARE(registry.EsitoInvio, qint16(4)); // a refused send stays readable, nothing else
}

void TestTerminalCommands::cancellaWaitsAndStillSendsToItsTerminal()
{
    m_fixture->wait = EventWait(0.02); // the one second becomes 20 ms
    TerminalCommands commands(m_fixture->registry, m_fixture->control, m_fixture->wait);
    QElapsedTimer elapsed;
    elapsed.start();
    commands.Cancella(3, u"127.0.0.13"_s);
    QVERIFY(m_fixture->control.sends().isEmpty());

    // Another terminal is served during the wait.
    QTimer::singleShot(5, this, [&] { commands.Blocca(5, u"127.0.0.15"_s); });
    QTRY_COMPARE(m_fixture->control.sends().size(), 2);
    QVERIFY(elapsed.elapsed() >= 19);
    const auto sends = m_fixture->control.sends();
    QCOMPARE(sends[0].text, u"CONSIDLE"_s);
    QCOMPARE(sends[1].text, u"DEL PASSAGGI"_s);
    QCOMPARE(sends[1].length, qint16(12));
    QCOMPARE(sends[1].NumTer, qint16(3));
    QCOMPARE(sends[1].IPTer, u"127.0.0.13"_s);
    QCOMPARE(m_fixture->registry.NumCorrente, 3);
}

QTEST_GUILESS_MAIN(TestTerminalCommands)
#include "tst_terminalcommands.moc"
