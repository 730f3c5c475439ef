#pragma once

#include <QObject>

class ActivityLog;
struct Switches;

// What the operator is shown besides the log: lines for the message list,
// and failure reports, always logged, that also go to the error list when
// "Visualizza Errori" is checked. A console or the headless output shows them.
class OperatorReport : public QObject
{
    Q_OBJECT

public:
    OperatorReport(ActivityLog& log, const Switches& switches, QObject* parent = nullptr);

    // Echo convention: appended, last line selected.
    void addMessage(const QString& text);
    void reportError(const QString& text);

Q_SIGNALS:
    void messageAdded(const QString& text);
    void errorAdded(const QString& text);

private:
    ActivityLog& m_log;
    const Switches& m_switches;
};
