#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>

class Alerts;
class Clock;
class NetworkControl;
class TerminalTable;
struct Settings;

// Which terminals the server calls hold a link, and since when each has been
// without one. A terminal without a link for longer than the threshold raises
// its alert, which ends when the terminal is linked again.
class LinkWatch : public QObject
{
    Q_OBJECT

public:
    LinkWatch(const TerminalTable& table, const Settings& settings, NetworkControl& control,
              Alerts& alerts, const Clock& clock, QObject* parent = nullptr);

    // Every terminal not yet linked counts as without a link from here on.
    void start();
    // Minutes; 0 turns the alert off.
    void setThreshold(int minutes) { m_thresholdMinutes = minutes; }
    // Raises the alert of every terminal past the threshold.
    void check();

    int configured() const;
    int linked() const;

private:
    struct Terminal
    {
        qint64 number;
        QString address;
    };

    QList<Terminal> terminals() const;
    void linkChanged(const QString& address, bool up);
    static QString key(const QString& address);

    const TerminalTable& m_table;
    const Settings& m_settings;
    Alerts& m_alerts;
    const Clock& m_clock;
    int m_thresholdMinutes = 10;
    QDateTime m_started;
    QHash<QString, QDateTime> m_lostAt; // address -> when its link went; linked ones are absent
    QSet<QString> m_up;
};
