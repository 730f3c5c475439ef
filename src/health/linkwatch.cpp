#include "health/linkwatch.h"

#include "app/clock.h"
#include "app/settings.h"
#include "health/alerts.h"
#include "terminal/netctl/networkcontrol.h"
#include "terminal/terminaltable.h"

using namespace Qt::StringLiterals;

LinkWatch::LinkWatch(const TerminalTable& table, const Settings& settings, NetworkControl& control,
                     Alerts& alerts, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_settings(settings)
    , m_alerts(alerts)
    , m_clock(clock)
{
    connect(&control, &NetworkControl::OnConnect, this,
            [this](const QString& IPTer) { linkChanged(IPTer, true); });
    connect(&control, &NetworkControl::OnStateChange, this,
            [this](qint16 State, const QString& IPTer, qint16) {
                if (State == 3 || State == 0)
                    linkChanged(IPTer, State == 3);
            });
}

void LinkWatch::start()
{
    m_started = m_clock.now();
}

void LinkWatch::linkChanged(const QString& address, bool up)
{
    if (up) {
        m_up.insert(address);
        m_lostAt.remove(address);
        m_alerts.end(key(address));
        return;
    }
    if (m_up.remove(address))
        m_lostAt.insert(address, m_clock.now());
}

QString LinkWatch::key(const QString& address)
{
    return u"link "_s + address;
}

void LinkWatch::check()
{
    if (m_thresholdMinutes <= 0 || !m_started.isValid())
        return;
    const QList<Terminal> watched = terminals();
    // A terminal taken out of the table is no longer waited for.
    for (const QString& raised : m_alerts.raised()) {
        if (raised.startsWith(key(QString())) &&
            std::none_of(watched.begin(), watched.end(),
                         [&](const Terminal& t) { return key(t.address) == raised; }))
            m_alerts.end(raised);
    }
    const QDateTime now = m_clock.now();
    for (const Terminal& terminal : watched) {
        if (m_up.contains(terminal.address))
            continue;
        const QDateTime since = m_lostAt.value(terminal.address, m_started);
        if (since.secsTo(now) >= qint64(m_thresholdMinutes) * 60)
            m_alerts.raise(key(terminal.address),
                           u"terminale %1 (%2) senza collegamento"_s.arg(terminal.number)
                               .arg(terminal.address),
                           u"da pi\u00f9 di %1 min"_s.arg(m_thresholdMinutes), since);
    }
}

int LinkWatch::configured() const
{
    return int(terminals().size());
}

int LinkWatch::linked() const
{
    int count = 0;
    for (const Terminal& terminal : terminals())
        count += m_up.contains(terminal.address) ? 1 : 0;
    return count;
}

// The terminals the server calls: the table's numbered slots among the first NumTerminali.
QList<LinkWatch::Terminal> LinkWatch::terminals() const
{
    QList<Terminal> list;
    const int count = qMin<qint32>(m_settings.NumTerminali, TerminalTable::SlotCount);
    for (int slot = 0; slot < count; ++slot) {
        if (m_table.isActive(slot))
            list.append({m_table.number(slot), m_table.IPTerminale[slot]});
    }
    return list;
}
