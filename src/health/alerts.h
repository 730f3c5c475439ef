#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>

class Clock;
class OperatorReport;

// What the operator must notice without reading the log. A condition is raised
// once when it starts and ended once when it passes, with how long it lasted;
// raising it again while it stands says nothing, so a failure that repeats a
// thousand times is one line. An event (a pass with failed lines) has no end.
// Every line goes to the log and to the error list; the window also shows it
// as a tray balloon.
class Alerts : public QObject
{
    Q_OBJECT

public:
    Alerts(OperatorReport& report, const Clock& clock, QObject* parent = nullptr);

    // `since`: when the condition began, if before now (a link lost earlier).
    void raise(const QString& key, const QString& subject, const QString& detail = QString(),
               const QDateTime& since = QDateTime());
    void end(const QString& key);
    void event(const QString& text);

    bool isRaised(const QString& key) const { return m_raised.contains(key); }
    QStringList raised() const { return m_raised.keys(); }

    // "12 s", "5 min", "2 h 05 min", "3 g 4 h".
    static QString duration(qint64 seconds);

Q_SIGNALS:
    void alerted(const QString& title, const QString& text, bool ended);

private:
    struct Condition
    {
        QString subject;
        QDateTime since;
    };

    void tell(const QString& title, const QString& text, bool ended);

    OperatorReport& m_report;
    const Clock& m_clock;
    QHash<QString, Condition> m_raised;
};
