#include "terminal/netctl/framesplitter.h"

#include <QtTest>

class TestFrameSplitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsMessages_data();
    void splitsMessages();
};

void TestFrameSplitter::splitsMessages_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<int>("discarded");

    const QByteArray limit(FrameSplitter::MaxMessage, 'a');
    QTest::newRow("one message") << QList<QByteArray>{"abc\n"} << QList<QByteArray>{"abc"} << 0;
    QTest::newRow("split across segments")
        << QList<QByteArray>{"a", "bc\r", "\n", "d\n"} << QList<QByteArray>{"abc", "d"} << 0;
    QTest::newRow("CR LF and LF") << QList<QByteArray>{"a\r\nb\nc"} << QList<QByteArray>{"a", "b"}
                                  << 0;
    QTest::newRow("CR inside is data")
        << QList<QByteArray>{"a\rb\n"} << QList<QByteArray>{"a\rb"} << 0;
    QTest::newRow("empty message") << QList<QByteArray>{"\n\r\n"} << QList<QByteArray>{"", ""} << 0;
    QTest::newRow("binary bytes") << QList<QByteArray>{QByteArray("\x00\x02\xff\x03\n", 5)}
                                  << QList<QByteArray>{QByteArray("\x00\x02\xff\x03", 4)} << 0;
    QTest::newRow("exactly the limit with CR")
        << QList<QByteArray>{limit + "\r\n"} << QList<QByteArray>{limit} << 0;
    QTest::newRow("one byte over the limit")
        << QList<QByteArray>{limit + "b\nok\n"} << QList<QByteArray>{"ok"} << 1;
    QTest::newRow("over the limit in pieces")
        << QList<QByteArray>{limit, "bb", "cc\r", "\nok\n"} << QList<QByteArray>{"ok"} << 1;
    QTest::newRow("a megabyte without LF")
        << QList<QByteArray>{QByteArray(1 << 20, 'z'), QByteArray(1 << 20, 'z'), "\nok\n"}
        << QList<QByteArray>{"ok"} << 1;
}

void TestFrameSplitter::splitsMessages()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(int, discarded);
    FrameSplitter splitter;
    QList<QByteArray> got;
    int dropped = 0;
    for (const QByteArray& chunk : chunks) {
        const FrameSplitter::Result result = splitter.feed(chunk);
        got += result.messages;
        dropped += result.discarded;
    }
    QCOMPARE(got, messages);
    QCOMPARE(dropped, discarded);
}

QTEST_APPLESS_MAIN(TestFrameSplitter)
#include "tst_framesplitter.moc"
