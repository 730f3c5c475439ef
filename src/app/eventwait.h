#pragma once

#include <functional>

class QObject;

// Pausa: the rest of a procedure runs after the given time, as a continuation
// on the event loop, while every other terminal, timer and button is served.
// Handlers never nest, and the wait is measured on a monotonic clock, so a
// wall-clock jump or midnight neither shortens nor lengthens it.
class EventWait
{
public:
    // Every interval, wait and time-out is multiplied by timeScale (tests, demos).
    explicit EventWait(double timeScale = 1.0);

    double timeScale() const { return m_timeScale; }
    int scaled(int milliseconds) const;

    // Tempo in seconds; zero or less runs `rest` at once, without yielding.
    // `rest` is dropped if `context` is destroyed before the time is up.
    void Pausa(double Tempo, const QObject* context, std::function<void()> rest) const;

private:
    double m_timeScale;
};
