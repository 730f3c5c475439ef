#include "support/testclock.h"

TestClock::TestClock(const QDateTime& start)
    : m_now(start)
{}
