#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM (stop), SIGHUP (connect again) and SIGUSR1 (post
// the failed stored transits again) into Qt signals
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
    void retryRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
