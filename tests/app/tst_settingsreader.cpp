#include "app/errorcatalogue.h"
#include "app/recordwriter.h"
#include "app/settingsreader.h"
#include "support/failingdevice.h"
#include "support/tempworkspace.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestSettingsReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsFieldsByTheRules_data();
    void readsFieldsByTheRules();
    void runningOutOfFieldsIsError62_data();
    void runningOutOfFieldsIsError62();
    void convertsNumbersFromText_data();
    void convertsNumbersFromText();
    void openFailuresCarryTheSystemNumbers();
    void successiveReadsContinueTheStream();
    void writtenRecordsReadBack();
    void failingDeviceGivesAnErrorNotACrash();
    void replacingInMissingFolderCreatesNothing();
};

void TestSettingsReader::readsFieldsByTheRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");

    const QStringList threeNumbers{u"3"_s, u"0"_s, u"0"_s};
    QTest::newRow("blanks after commas") << QByteArray("3, 0, 0\r\n") << 3 << threeNumbers;
    QTest::newRow("one per line") << QByteArray("3\r\n0\r\n0\r\n") << 3 << threeNumbers;
    QTest::newRow("mixed lines and commas") << QByteArray("3,0\r\n0") << 3 << threeNumbers;
    QTest::newRow("LF line ends") << QByteArray("3\n0\n0\n") << 3 << threeNumbers;
    QTest::newRow("blank lines before a field")
        << QByteArray("\r\n\r\n   3\r\n\r\n0,0") << 3 << threeNumbers;
    QTest::newRow("quoted field keeps its comma") << QByteArray("\"C:\\Dati, vecchi\",\"x\"") << 2
                                                  << QStringList{u"C:\\Dati, vecchi"_s, u"x"_s};
    QTest::newRow("text after closing quote is skipped")
        << QByteArray("\"abc\"xyz,next") << 2 << QStringList{u"abc"_s, u"next"_s};
    QTest::newRow("quoted field keeps blanks")
        << QByteArray("\"  a b  \"") << 1 << QStringList{u"  a b  "_s};
    QTest::newRow("unquoted string stops at comma")
        << QByteArray("Provider=SQLite;Data Source=a,b.db\r\n") << 1
        << QStringList{u"Provider=SQLite;Data Source=a"_s};
    QTest::newRow("unquoted keeps its blanks, trailing ones too")
        << QByteArray("C:\\Program Files\\Parvix  \r\n") << 1
        << QStringList{u"C:\\Program Files\\Parvix  "_s};
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("\"abc,def") << 1 << QStringList{u"abc,def"_s};
    QTest::newRow("trailing comma promises an empty field")
        << QByteArray("a,") << 2 << QStringList{u"a"_s, QString()};
    QTest::newRow("empty fields between commas")
        << QByteArray("a,,c") << 3 << QStringList{u"a"_s, QString(), u"c"_s};
    QTest::newRow("single-byte code page")
        << QByteArray("\"Qualit\xe0\"") << 1 << QStringList{u"Qualit\u00e0"_s};
}

void TestSettingsReader::readsFieldsByTheRules()
{
    QFETCH(QByteArray, content);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    SettingsReader reader;
    reader.setData(content);
    QStringList fields;
    Error error;
    QVERIFY2(reader.read(count, fields, error), qPrintable(error.description));
    QCOMPARE(fields, expected);
}

void TestSettingsReader::runningOutOfFieldsIsError62_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("count");
    QTest::newRow("empty file") << QByteArray() << 1;
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n") << 1;
    QTest::newRow("two of three") << QByteArray("3, 0\r\n") << 3;
    QTest::newRow("seventeen of eighteen")
        << QByteArray("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q\r\n") << 18;
}

void TestSettingsReader::runningOutOfFieldsIsError62()
{
    QFETCH(QByteArray, content);
    QFETCH(int, count);
    SettingsReader reader;
    reader.setData(content);
    QStringList fields;
    Error error;
    QVERIFY(!reader.read(count, fields, error));
    QCOMPARE(error.number, 62);
    QCOMPARE(error.description, u"Input oltre la fine del file"_s);
}

void TestSettingsReader::convertsNumbersFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("errorNumber");
    QTest::newRow("plain") << u"3"_s << 3 << 0;
    QTest::newRow("blanks") << u" 7 "_s << 7 << 0;
    QTest::newRow("empty is zero") << QString() << 0 << 0;
    QTest::newRow("negative") << u"-1"_s << -1 << 0;
    QTest::newRow("half rounds to even") << u"2.5"_s << 2 << 0;
    QTest::newRow("fraction rounds") << u"3.6"_s << 4 << 0;
    QTest::newRow("not a number") << u"abc"_s << 0 << 13;
    QTest::newRow("digits then text") << u"12ab"_s << 0 << 13;
    QTest::newRow("too large for 16 bits") << u"40000"_s << 0 << 6;
}

void TestSettingsReader::convertsNumbersFromText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(int, errorNumber);
    qint16 value = 99;
    Error error;
    QCOMPARE(SettingsReader::toInt16(text, value, error), errorNumber == 0);
    QCOMPARE(error.number, errorNumber);
    if (errorNumber == 0)
        QCOMPARE(value, expected);
}

void TestSettingsReader::openFailuresCarryTheSystemNumbers()
{
    TempWorkspace workspace;
    SettingsReader reader;
    Error error;
    QVERIFY(!reader.open(workspace.filePath(u"Set/none.set"_s), error));
    QCOMPARE(error.number, 53);
    QCOMPARE(error.description, u"Impossibile trovare il file"_s);
    QVERIFY(!reader.open(workspace.filePath(u"Missing/none.set"_s), error));
    QCOMPARE(error.number, 76);
    QVERIFY(!reader.open(workspace.filePath(u"Set"_s), error));
    QCOMPARE(error.number, 75);
}

void TestSettingsReader::successiveReadsContinueTheStream()
{
    SettingsReader reader;
    reader.setData("\"5\",\"127.0.0.15\"\r\n\"6\",\"127.0.0.16\"\r\n\"7\"\r\n");
    QStringList record;
    Error error;
    QVERIFY(reader.read(2, record, error));
    QCOMPARE(record, (QStringList{u"5"_s, u"127.0.0.15"_s}));
    QVERIFY(reader.read(2, record, error));
    QCOMPARE(record, (QStringList{u"6"_s, u"127.0.0.16"_s}));
    QVERIFY(!reader.read(2, record, error));
    QCOMPARE(error.number, 62);
}

void TestSettingsReader::writtenRecordsReadBack()
{
    const QByteArray record = RecordWriter::quotedRecord({u"1"_s, u"192.168.1.100"_s});
    QCOMPARE(record, QByteArray("\"1\",\"192.168.1.100\"\r\n"));
    QCOMPARE(RecordWriter::plainLine(u"3, 0, 0"_s), QByteArray("3, 0, 0\r\n"));

    TempWorkspace workspace;
    Error error;
    const QString path = workspace.filePath(u"Set/ParvixHost.set"_s);
    QVERIFY(RecordWriter::replaceFile(
        path, record + RecordWriter::quotedRecord({u"12"_s, u"a, b"_s}), error));
    SettingsReader reader;
    QStringList fields;
    QVERIFY(reader.open(path, error));
    QVERIFY(reader.read(4, fields, error));
    QCOMPARE(fields, (QStringList{u"1"_s, u"192.168.1.100"_s, u"12"_s, u"a, b"_s}));
}

void TestSettingsReader::failingDeviceGivesAnErrorNotACrash()
{
    FailingDevice device(5);
    Error error;
    QVERIFY(
        !RecordWriter::write(device, RecordWriter::quotedRecord({u"1"_s, u"127.0.0.11"_s}), error));
    QCOMPARE(error.number, 57);
    QCOMPARE(device.written(), QByteArray("\"1\",\""));
}

void TestSettingsReader::replacingInMissingFolderCreatesNothing()
{
    TempWorkspace workspace;
    Error error;
    QVERIFY(!RecordWriter::replaceFile(workspace.filePath(u"Nope/ParvixIP.set"_s),
                                       RecordWriter::plainLine(u"3, 0, 0"_s), error));
    QCOMPARE(error.number, 76);
    QVERIFY(!workspace.exists(u"Nope"_s));
}

QTEST_GUILESS_MAIN(TestSettingsReader)
#include "tst_settingsreader.moc"
