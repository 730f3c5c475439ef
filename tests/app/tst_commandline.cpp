#include "app/commandline.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void optionsSetSwitchesPortsAndScale();
    void wrongValuesAreRefused_data();
    void wrongValuesAreRefused();
};

void TestCommandLine::optionsSetSwitchesPortsAndScale()
{
    CommandLine options;
    QString error;
    QVERIFY(CommandLine::parse({u"parvix"_s}, options, error));
    QVERIFY(!options.headless);
    QCOMPARE(options.listenPort, 8499);
    QCOMPARE(options.terminalPort, 8499);
    QCOMPARE(options.timeScale, 1.0);
    QVERIFY(options.switches.Check1);
    QVERIFY(!options.switches.OPT1 && !options.switches.TraceON && !options.switches.SalvaT);

    QVERIFY(CommandLine::parse({u"parvix"_s, u"--headless"_s, u"--listen-port"_s, u"9001"_s,
                                u"--terminal-port=9002"_s, u"--show-messages"_s, u"--hide-errors"_s,
                                u"--trace"_s, u"--save-all"_s, u"--time-scale"_s, u"0.01"_s},
                               options, error));
    QVERIFY(options.headless);
    QCOMPARE(options.listenPort, 9001);
    QCOMPARE(options.terminalPort, 9002);
    QCOMPARE(options.timeScale, 0.01);
    QVERIFY(!options.switches.Check1);
    QVERIFY(options.switches.OPT1 && options.switches.TraceON && options.switches.SalvaT);
}

void TestCommandLine::wrongValuesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port zero") << QStringList{u"--listen-port"_s, u"0"_s};
    QTest::newRow("port too large") << QStringList{u"--terminal-port"_s, u"70000"_s};
    QTest::newRow("port not a number") << QStringList{u"--listen-port"_s, u"http"_s};
    QTest::newRow("scale zero") << QStringList{u"--time-scale"_s, u"0"_s};
    QTest::newRow("scale above one") << QStringList{u"--time-scale"_s, u"2"_s};
    QTest::newRow("unknown option") << QStringList{u"--fast"_s};
    QTest::newRow("stray argument") << QStringList{u"demo"_s};
}

void TestCommandLine::wrongValuesAreRefused()
{
    QFETCH(QStringList, arguments);
    CommandLine options;
    options.listenPort = 1234;
    QString error;
    QVERIFY(!CommandLine::parse(QStringList{u"parvix"_s} + arguments, options, error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(options.listenPort, 1234); // nothing half-applied
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
