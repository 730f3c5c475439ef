#pragma once

#include <QObject>

// What the system or an operator asks of the running server: a stop (SIGINT,
// SIGTERM; on Windows Ctrl-C, the console closing, a log-off or shutdown),
// connecting again (SIGHUP), posting the failed stored transits again
// (SIGUSR1). Delivered on the event loop, where the server's procedures can
// run safely. One instance at a time.
class SystemSignals : public QObject
{
    Q_OBJECT

public:
    explicit SystemSignals(QObject* parent = nullptr);
    ~SystemSignals() override;

Q_SIGNALS:
    void terminateRequested();
    void hangupRequested();
    void retryRequested();
};
