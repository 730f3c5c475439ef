#include "posting/transitrecord.h"
#include "support/testrecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestTransitRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A field read both ways: the lenient number (error 6 past 16 bits) and the order
    // number's strict whole number (error 13 for anything but digits with blanks around).
    void numbersReadLenientlyAndStrictly_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("read"); // lenient, strict
        QTest::newRow("the largest, blanks around") << u" 032767 "_s << u"32767, 32767"_s;
        QTest::newRow("blank, tab, line feed inside") << u"1 2\t3\n4"_s << u"1234, error 13"_s;
        QTest::newRow("no digits") << u"AB"_s << u"0, error 13"_s;
        QTest::newRow("plus") << u"+7"_s << u"7, error 13"_s;
        QTest::newRow("half to even") << u"2.5"_s << u"2, error 13"_s;
        QTest::newRow("point between the digits") << u"3.6"_s << u"4, error 13"_s;
        QTest::newRow("point after the digits") << u"12."_s << u"12, error 13"_s;
        QTest::newRow("point before the digits") << u".6"_s << u"1, error 13"_s;
        QTest::newRow("exponent") << u"1E+2"_s << u"100, error 13"_s;
        QTest::newRow("letter after the digits") << u"7E"_s << u"7, error 13"_s;
        QTest::newRow("smallest, a minus sign") << u"-32768"_s << u"-32768, error 13"_s;
        QTest::newRow("overflow") << u"32768"_s << u"error 6, 32768"_s;
    }

    void numbersReadLenientlyAndStrictly()
    {
        QFETCH(QString, field);
        QFETCH(QString, read);
        qint16 small = 0;
        qint32 whole = 0;
        Error error;
        const bool lenient = TransitRecord::number(field, small, error);
        const QString got = lenient ? QString::number(small) : u"error %1"_s.arg(error.number);
        const bool strict = TransitRecord::wholeNumber(field, whole, error);
        QCOMPARE(got + u", "_s +
                     (strict ? QString::number(whole) : u"error %1"_s.arg(error.number)),
                 read);
    }

    // On terminal 7, with Filiale.set 3, in 2024: branch 0 is 3, year 0 is 24.
    void decodesFieldsDatesAndDefaults_data()
    {
        QTest::addColumn<TestRecord>("record");
        // time, date, function, position, year/branch/number/progressive, terminal
        QTest::addColumn<QString>("transit");
        const TestRecord all{
            .hhmm = u"2359"_s, .function = u"00"_s, .position = u"10"_s, .order = u"252123451"_s};
        QTest::newRow("every field") << all << u"23:59 06/12/2026 00 10 25/2/12345/1 7"_s;
        QTest::newRow("day past month end, year 29")
            << TestRecord{.ddmmyy = u"320129"_s} << u"7:30 01/02/2029 #C 1 24/3/0/0 7"_s;
        QTest::newRow("month 13, year 30")
            << TestRecord{.ddmmyy = u"011330"_s} << u"7:30 01/01/1931 #C 1 24/3/0/0 7"_s;
        QTest::newRow("position overflows") << TestRecord{.position = u"99999"_s} << u"error 6"_s;
        QTest::newRow("the order number first")
            << TestRecord{.position = u"99999"_s, .order = u"24112A450"_s} << u"error 13"_s;
        QTest::newRow("order number blank") << TestRecord{.order = u"241     0"_s} << u"error 13"_s;
    }

    void decodesFieldsDatesAndDefaults()
    {
        QFETCH(TestRecord, record);
        QFETCH(QString, transit);
        Transito t;
        Error error;
        const bool decoded = TransitRecord::decode(record.text(), 7, 3, 2024, t, error);
        QCOMPARE(decoded ? QString::asprintf("%d:%d %ls %ls %d %d/%d/%d/%d %g", t.Ora, t.Minuti,
                                             qUtf16Printable(t.DataTesto),
                                             qUtf16Printable(t.Funzione), t.Posizione, t.Anno,
                                             t.Filiale, t.Numero, t.Progressivo, t.Terminale)
                         : u"error %1"_s.arg(error.number),
                 transit);
    }
};

QTEST_APPLESS_MAIN(TestTransitRecord)
#include "tst_transitrecord.moc"
