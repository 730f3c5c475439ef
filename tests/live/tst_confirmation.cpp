#include "support/livefixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestConfirmation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithItsText_data();
    void answersWithItsText();
};

void TestConfirmation::answersWithItsText_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("modoTarga");  // "TARGA" in any case shows the order number
    QTest::addColumn<int>("result");         // of the send
    QTest::addColumn<bool>("failed");        // the posting before it
    QTest::addColumn<QStringList>("answer"); // the text sent, then the log
    QTest::newRow("order number") << u"00"_s << u"Targa"_s << 0 << false
                                  << QStringList{u"KTessera n. 7|Ord: 4711 P: 3"_s, u"[0]"_s};
    QTest::newRow("plate, cut to 9") << u"#A"_s << u"X"_s << 0 << false
                                     << QStringList{u"KTessera n. 7|AB123CDXY P:3"_s, u"[0]"_s};
    QTest::newRow("refused send: its reason first")
        << u"#C"_s << u"X"_s << int(NetworkControl::NoLink) << false
        << QStringList{u"KTessera n. 7| Entra ->] 08:05"_s,
                       u"Nessun collegamento con il terminale"_s, u"[1]"_s};
    QTest::newRow("posting failed")
        << u"#D"_s << u"X"_s << 0 << true << QStringList{u"KBadge Errato"_s, u"[3]"_s};
}

void TestConfirmation::answersWithItsText()
{
    QFETCH(QString, function);
    QFETCH(QString, modoTarga);
    QFETCH(int, result);
    QFETCH(bool, failed);
    QFETCH(QStringList, answer);
    LiveFixture fixture;
    fixture.settings.ModoTarga = modoTarga;
    fixture.control.setResult(u"SendText"_s, qint16(result));
    fixture.registry.InScarico = true; // sent also while a terminal's file is transferred
    fixture.registry.BadgeErrato = qint16(failed);
    // Badge 7 entering at 08:05; order 4711, plate AB123CDXYZ, position 3.
    const TransitContext context{7,  0,  {},        u"08"_s, u"05"_s,         1,
                                 {}, {}, u"4711"_s, {},      u"AB123CDXYZ"_s, 3};
    fixture.confirmation.Conferma({4, u"127.0.0.14"_s, QString(), function}, context);
    // The terminal answered is the one addressed last.
    QCOMPARE(u"%1 %2"_s.arg(fixture.registry.NumCorrente).arg(fixture.registry.IPCorrente),
             u"4 127.0.0.14"_s);
    QCOMPARE(fixture.sent(), QStringList{BadgeCheck::displayText(answer.takeFirst())});
    QCOMPARE(fixture.texts(u"Log/RegistroQZ.txt"_s), answer);
}

QTEST_GUILESS_MAIN(TestConfirmation)
#include "tst_confirmation.moc"
