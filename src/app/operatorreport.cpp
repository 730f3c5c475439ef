#include "app/operatorreport.h"

#include "app/activitylog.h"
#include "app/switches.h"

OperatorReport::OperatorReport(ActivityLog& log, const Switches& switches, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_switches(switches)
{}

void OperatorReport::addMessage(const QString& text)
{
    Q_EMIT messageAdded(text);
}

void OperatorReport::reportError(const QString& text)
{
    m_log.LogFile(text);
    if (m_switches.Check1)
        Q_EMIT errorAdded(text);
}
