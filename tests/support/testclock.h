#pragma once

#include "app/clock.h"

// A clock that stands still until a test moves it.
class TestClock : public Clock
{
public:
    explicit TestClock(const QDateTime& start = QDateTime(QDate(2026, 12, 6), QTime(10, 30, 0)));

    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
