#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM (stop) and SIGHUP (connect again) into Qt signals
// on the event loop, where the server's procedures can run safely (a signal
// handler may only write a byte).
class UnixSignals : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

Q_SIGNALS:
    void terminateRequested();
    void hangupRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
