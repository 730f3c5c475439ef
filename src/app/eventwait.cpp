#include "app/eventwait.h"

#include <QTimer>

#include <cmath>

EventWait::EventWait(double timeScale)
    : m_timeScale(timeScale)
{}

int EventWait::scaled(int milliseconds) const
{
    return static_cast<int>(std::lround(milliseconds * m_timeScale));
}

void EventWait::Pausa(double Tempo, const QObject* context, std::function<void()> rest) const
{
    // The system counts waits in ten-thousandths of a second.
    const double ticks = std::round(Tempo * 10000.0);
    if (ticks <= 0) {
        rest();
        return;
    }
    const auto milliseconds = std::chrono::milliseconds(std::lround(ticks / 10.0 * m_timeScale));
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, context, std::move(rest));
}
