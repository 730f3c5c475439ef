#include "posting/transitrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// HHMM, DDMMYY, badge, function, position (5), order digits (9).
QString record(const QString& time, const QString& date, const QString& function,
               const QString& position, const QString& order)
{
    return QChar(2) + time + u"00"_s + date + u"0042"_s + function + position + order + QChar(3);
}

} // namespace

class TestTransitRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lenientNumbers_data();
    void lenientNumbers();
    void strictOrderNumber_data();
    void strictOrderNumber();
    void dateWindowAndRollOver_data();
    void dateWindowAndRollOver();
    void decodesWithDefaults();
    void decodingFailsOnBadFields_data();
    void decodingFailsOnBadFields();
};

void TestTransitRecord::lenientNumbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("error");
    QTest::newRow("leading zero") << u"07"_s << 7 << 0;
    QTest::newRow("position") << u"00010"_s << 10 << 0;
    QTest::newRow("blank inside") << u"1 2"_s << 12 << 0;
    QTest::newRow("tab and line feed") << u"\t3\n4"_s << 34 << 0;
    QTest::newRow("letters after digits") << u"12A45"_s << 12 << 0;
    QTest::newRow("no digits") << u"AB"_s << 0 << 0;
    QTest::newRow("blanks") << u"     "_s << 0 << 0;
    QTest::newRow("sign") << u"-0003"_s << -3 << 0;
    QTest::newRow("half to even") << u"2.5"_s << 2 << 0;
    QTest::newRow("exponent") << u"1E2"_s << 100 << 0;
    QTest::newRow("largest") << u"32767"_s << 32767 << 0;
    QTest::newRow("overflow") << u"40000"_s << 0 << 6;
}

void TestTransitRecord::lenientNumbers()
{
    QFETCH(QString, field);
    QFETCH(int, value);
    QFETCH(int, error);
    qint16 got = -99;
    Error e;
    QCOMPARE(TransitRecord::number(field, got, e), error == 0);
    QCOMPARE(e.number, error);
    if (error == 0)
        QCOMPARE(got, value);
}

void TestTransitRecord::strictOrderNumber_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value"); // -1: error 13
    QTest::newRow("digits") << u"00123"_s << 123;
    QTest::newRow("blanks around") << u" 123 "_s << 123;
    QTest::newRow("zero") << u"00000"_s << 0;
    QTest::newRow("blank inside") << u"12 34"_s << -1;
    QTest::newRow("letter") << u"12A45"_s << -1;
    QTest::newRow("all blanks") << u"     "_s << -1;
    QTest::newRow("sign") << u"-1234"_s << -1;
}

void TestTransitRecord::strictOrderNumber()
{
    QFETCH(QString, field);
    QFETCH(int, value);
    qint32 got = 0;
    Error e;
    QCOMPARE(TransitRecord::wholeNumber(field, got, e), value >= 0);
    if (value >= 0)
        QCOMPARE(got, value);
    else
        QCOMPARE(e.number, 13);
}

void TestTransitRecord::dateWindowAndRollOver_data()
{
    QTest::addColumn<QString>("ddmmyy");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << u"310124"_s << QDate(2024, 1, 31) << u"31/01/2024"_s;
    QTest::newRow("day past month end") << u"320124"_s << QDate(2024, 2, 1) << u"01/02/2024"_s;
    QTest::newRow("month 13") << u"011324"_s << QDate(2025, 1, 1) << u"01/01/2025"_s;
    QTest::newRow("all zero") << u"000000"_s << QDate(1999, 11, 30) << u"30/11/1999"_s;
    QTest::newRow("year 29") << u"050329"_s << QDate(2029, 3, 5) << u"05/03/2029"_s;
    QTest::newRow("year 30") << u"050330"_s << QDate(1930, 3, 5) << u"05/03/1930"_s;
    QTest::newRow("year 99") << u"050399"_s << QDate(1999, 3, 5) << u"05/03/1999"_s;
    QTest::newRow("29 February in a common year")
        << u"290223"_s << QDate(2023, 3, 1) << u"01/03/2023"_s;
}

void TestTransitRecord::dateWindowAndRollOver()
{
    QFETCH(QString, ddmmyy);
    QFETCH(QDate, date);
    QFETCH(QString, text);
    Transito transit;
    Error e;
    QVERIFY(TransitRecord::decode(record(u"0705"_s, ddmmyy, u"#C"_s, u"00001"_s, u"000000000"_s), 1,
                                  1, 2026, transit, e));
    QCOMPARE(transit.Data, date);
    QCOMPARE(transit.DataTesto, text);
}

void TestTransitRecord::decodesWithDefaults()
{
    Transito transit;
    Error e;
    QVERIFY(
        TransitRecord::decode(record(u"0705"_s, u"061226"_s, u"#A"_s, u"00010"_s, u"000012345"_s),
                              7, 3, 2024, transit, e));
    QCOMPARE(transit.Ora, qint16(7));
    QCOMPARE(transit.Minuti, qint16(5));
    QCOMPARE(transit.Funzione, u"#A"_s);
    QCOMPARE(transit.Posizione, qint16(10));
    QCOMPARE(transit.Anno, qint16(24));   // year 00: the clock's year
    QCOMPARE(transit.Filiale, qint16(3)); // branch 0: Filiale.set
    QCOMPARE(transit.Numero, 1234);
    QCOMPARE(transit.Progressivo, qint16(5));
    QCOMPARE(transit.Terminale, 7.0);

    QVERIFY(
        TransitRecord::decode(record(u"2359"_s, u"061226"_s, u"00"_s, u"00001"_s, u"252123451"_s),
                              7, 3, 2024, transit, e));
    QCOMPARE(transit.Anno, qint16(25));
    QCOMPARE(transit.Filiale, qint16(2));
    QCOMPARE(transit.Numero, 12345);
    QCOMPARE(transit.Progressivo, qint16(1));
}

void TestTransitRecord::decodingFailsOnBadFields_data()
{
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("error");
    QTest::newRow("order number with a letter") << u"00001"_s << u"24112A450"_s << 13;
    QTest::newRow("order number blank") << u"00001"_s << u"241     0"_s << 13;
    QTest::newRow("position overflows") << u"99999"_s << u"241000120"_s << 6;
    QTest::newRow("both: the order number comes first") << u"99999"_s << u"24112A450"_s << 13;
}

void TestTransitRecord::decodingFailsOnBadFields()
{
    QFETCH(QString, position);
    QFETCH(QString, order);
    QFETCH(int, error);
    Transito transit;
    transit.Ora = 42;
    Error e;
    QVERIFY(!TransitRecord::decode(record(u"0705"_s, u"061226"_s, u"#A"_s, position, order), 1, 1,
                                   2026, transit, e));
    QCOMPARE(e.number, error);
    QCOMPARE(transit.Ora, qint16(42)); // nothing half-decoded
}

QTEST_APPLESS_MAIN(TestTransitRecord)
#include "tst_transitrecord.moc"
