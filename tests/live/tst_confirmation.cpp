#include "app/recordwriter.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "support/serverfixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestConfirmation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithItsText_data();
    void answersWithItsText();
    void refusedSendIsLoggedByItsReason();
};

void TestConfirmation::answersWithItsText_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("modoTarga");
    QTest::addColumn<int>("badgeErrato");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("text"); // empty: nothing sent
    QTest::addColumn<QString>("code");

    QTest::newRow("order number") << u"00"_s << u"Targa"_s << 0 << 0
                                  << u"KTessera n. 7|Ord: 4711 P: 3"_s << u"[0]"_s;
    QTest::newRow("plate") << u"#A"_s << u"X"_s << 0 << 0 << u"KTessera n. 7|AB123CDXY P:3"_s
                           << u"[0]"_s;
    QTest::newRow("end of work") << u"#B"_s << u"TARGA"_s << 0 << 0
                                 << u"KTessera n. 7|Ord: 4711 P: 3"_s << u"[0]"_s;
    QTest::newRow("entry") << u"#C"_s << u"TARGA"_s << 0 << 1 << u"KTessera n. 7| Entra ->] 08:05"_s
                           << u"[1]"_s;
    QTest::newRow("exit") << u"#C"_s << u"TARGA"_s << 0 << 2 << u"KTessera n. 7|  Esce <-] 08:05"_s
                          << u"[2]"_s;
    QTest::newRow("posting failed")
        << u"#D"_s << u"TARGA"_s << 1 << 0 << u"KBadge Errato"_s << u"[3]"_s;
    QTest::newRow("unknown function") << u"#E"_s << u"TARGA"_s << 0 << 0 << QString() << QString();
}

void TestConfirmation::answersWithItsText()
{
    QFETCH(QString, function);
    QFETCH(QString, modoTarga);
    QFETCH(int, badgeErrato);
    QFETCH(int, direction);
    QFETCH(QString, text);
    QFETCH(QString, code);
    ServerFixture fixture;
    QStringList ore(19, QString());
    ore[18] = modoTarga;
    fixture.workspace.write(u"Ore.dat"_s, RecordWriter::quotedRecord(ore));
    QVERIFY(fixture.start());
    fixture.registry.BadgeErrato = static_cast<qint16>(badgeErrato);
    // Sent also while a terminal's file is being transferred.
    fixture.registry.InScarico = true;
    TransitContext context;
    context.NumTessera = 7;
    context.OrdineCorrente = u"4711"_s;
    context.OrdTarga = u"AB123CDXYZ"_s;
    context.PosizCorrente = 3;
    context.OraTransito = u"08"_s;
    context.MinTransito = u"05"_s;
    context.StatoPresenza = static_cast<qint16>(direction);

    fixture.server->confirmation().Conferma(TransitRead{4, u"127.0.0.14"_s, QString(), function},
                                            context);
    const auto sends = fixture.control.sends();
    QCOMPARE(sends.size(), text.isEmpty() ? 0 : 1);
    if (!text.isEmpty()) {
        QCOMPARE(sends[0].text, BadgeCheck::displayText(text));
        QCOMPARE(sends[0].NumTer, qint16(4));
        QCOMPARE(sends[0].IPTer, u"127.0.0.14"_s);
    }
    QCOMPARE(fixture.logLines(),
             code.isEmpty() ? QStringList() : QStringList{fixture.logLines().value(0)});
    if (!code.isEmpty())
        QVERIFY(fixture.logLines().first().endsWith(u' ' + code));
}

void TestConfirmation::refusedSendIsLoggedByItsReason()
{
    ServerFixture fixture;
    QVERIFY(fixture.start());
    fixture.control.setResult(u"SendText"_s, NetworkControl::NoLink);
    TransitContext context;
    context.StatoPresenza = 1;
    fixture.server->confirmation().Conferma(TransitRead{4, u"127.0.0.14"_s, QString(), u"#C"_s},
                                            context);
    const QStringList lines = fixture.logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(u" Nessun collegamento con il terminale"_s));
    QVERIFY(lines[1].endsWith(u" [1]"_s));
}

QTEST_GUILESS_MAIN(TestConfirmation)
#include "tst_confirmation.moc"
