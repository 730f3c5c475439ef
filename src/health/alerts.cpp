#include "health/alerts.h"

#include "app/clock.h"
#include "app/operatorreport.h"

using namespace Qt::StringLiterals;

Alerts::Alerts(OperatorReport& report, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_report(report)
    , m_clock(clock)
{}

void Alerts::raise(const QString& key, const QString& subject, const QString& detail,
                   const QDateTime& since)
{
    if (m_raised.contains(key))
        return;
    m_raised.insert(key, {subject, since.isValid() ? since : m_clock.now()});
    tell(u"Allarme"_s, detail.isEmpty() ? subject : subject + u": "_s + detail, false);
}

void Alerts::end(const QString& key)
{
    const auto it = m_raised.constFind(key);
    if (it == m_raised.constEnd())
        return;
    const Condition condition = *it;
    m_raised.erase(it);
    const qint64 lasted = qMax<qint64>(0, condition.since.secsTo(m_clock.now()));
    tell(u"Fine allarme"_s, condition.subject + u" (durata "_s + duration(lasted) + u')', true);
}

void Alerts::event(const QString& text)
{
    tell(u"Allarme"_s, text, false);
}

QString Alerts::duration(qint64 seconds)
{
    const auto two = [](qint64 n) {
        return u"%1"_s.arg(n, 2, 10, QChar(u'0'));
    };
    if (seconds < 60)
        return u"%1 s"_s.arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return u"%1 min"_s.arg(minutes);
    const qint64 hours = minutes / 60;
    if (hours < 24)
        return u"%1 h %2 min"_s.arg(hours).arg(two(minutes % 60));
    return u"%1 g %2 h"_s.arg(hours / 24).arg(hours % 24);
}

void Alerts::tell(const QString& title, const QString& text, bool ended)
{
    m_report.reportError(title + u": "_s + text);
    Q_EMIT alerted(u"Parvix: "_s + title.toLower(), text, ended);
}
