#include "app/eventwait.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestEventWait : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zeroOrNegativeRunsAtOnce_data();
    void zeroOrNegativeRunsAtOnce();
    void restRunsAfterScaledTimeInDueOrder();
    void otherEventsAreServedWhileWaiting();
    void restIsDroppedWithItsContext();
};

void TestEventWait::zeroOrNegativeRunsAtOnce_data()
{
    QTest::addColumn<double>("tempo");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -1.0;
    QTest::newRow("below a ten-thousandth") << 0.00004;
}

void TestEventWait::zeroOrNegativeRunsAtOnce()
{
    QFETCH(double, tempo);
    const EventWait wait;
    bool otherEventRan = false;
    QTimer::singleShot(0, this, [&] { otherEventRan = true; });
    bool ran = false;
    wait.Pausa(tempo, this, [&] { ran = true; });
    QVERIFY(ran);
    QVERIFY(!otherEventRan); // nothing was dispatched
    QTRY_VERIFY(otherEventRan);
}

void TestEventWait::restRunsAfterScaledTimeInDueOrder()
{
    const EventWait wait(0.05);
    QStringList order;
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 firstAfter = 0;
    wait.Pausa(1.0, this, [&] {
        order.append(u"a"_s);
        firstAfter = elapsed.elapsed();
    });
    wait.Pausa(1.0, this, [&] { order.append(u"b"_s); });
    wait.Pausa(0.5, this, [&] { order.append(u"c"_s); });
    QVERIFY(order.isEmpty()); // the caller goes on at once
    QTRY_COMPARE(order, (QStringList{u"c"_s, u"a"_s, u"b"_s}));
    QVERIFY2(firstAfter >= 49, qPrintable(QString::number(firstAfter)));
}

void TestEventWait::otherEventsAreServedWhileWaiting()
{
    const EventWait wait(0.1);
    QStringList order;
    QTimer tick;
    tick.setSingleShot(true);
    connect(&tick, &QTimer::timeout, this, [&] { order.append(u"tick"_s); });
    wait.Pausa(1.0, this, [&] { order.append(u"rest"_s); });
    tick.start(10);
    QTRY_COMPARE(order, (QStringList{u"tick"_s, u"rest"_s}));
}

void TestEventWait::restIsDroppedWithItsContext()
{
    const EventWait wait(0.01);
    bool ran = false;
    auto context = std::make_unique<QObject>();
    wait.Pausa(1.0, context.get(), [&] { ran = true; });
    context.reset();
    QTest::qWait(50);
    QVERIFY(!ran);
}

QTEST_GUILESS_MAIN(TestEventWait)
#include "tst_eventwait.moc"
