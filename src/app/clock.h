#pragma once

#include <QDateTime>

// Where the server asks for "now" (log dates, the current year), so tests own time.
class Clock
{
public:
    virtual ~Clock();
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override;
};
