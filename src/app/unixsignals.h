#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, where the
// shutdown sequence can run safely (a signal handler may only write a byte).
class UnixSignals : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

Q_SIGNALS:
    void terminateRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
