#include "app/activitylog.h"

#include "app/basictext.h"
#include "app/clock.h"
#include "app/datedline.h"
#include "app/switches.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

ActivityLog::ActivityLog(const Clock& clock, const Switches& switches)
    : m_clock(clock)
    , m_switches(switches)
    , m_folder(QDir::currentPath())
{}

void ActivityLog::setLocation(const QString& workingDirectory, const QString& CartellaRegistro)
{
    m_folder = DatedLine::inFolder(workingDirectory, CartellaRegistro, QString());
}

QString ActivityLog::filePath() const
{
    return QDir(m_folder).filePath(u"RegistroQZ.txt"_s);
}

void ActivityLog::LogFile(const QString& CmdTxt)
{
    if (filteredOut())
        return;
    rotateIfNeeded();
    DatedLine::append(filePath(), DatedLine::make(m_clock.now(), CmdTxt));
}

void ActivityLog::SpY(qint16 Trace)
{
    if (m_switches.TraceON)
        LogFile(u"SpY:"_s + QString::number(Trace));
}

void ActivityLog::logReceived(const QString& message, const QString& CmdTxt)
{
    MsgLog = message;
    LogFile(CmdTxt);
    MsgLog.clear();
}

// Presence messages and "no file" replies arrive all the time; they are kept
// only when the operator asks for everything.
bool ActivityLog::filteredOut() const
{
    if (m_switches.SalvaT)
        return false;
    return Basic::Mid(MsgLog, 5, 4).toUpper() == u"TRAX"_s || MsgLog == u"DIR PASSAGGI ?*"_s;
}

void ActivityLog::rotateIfNeeded()
{
    const QFileInfo log(filePath());
    if (log.exists() && log.size() <= RotationSize)
        return;
    QDir(m_folder).remove(u"Old_RegistroQZ.txt"_s);
    if (log.exists() && !QFile::rename(log.filePath(), freeRotatedName()))
        return; // keep appending to the full log rather than start over it
    QFile fresh(log.filePath());
    fresh.open(QIODevice::WriteOnly | QIODevice::Append);
}

// RegDDMMYY.txt, or RegDDMMYY_N.txt when the day already has a rotated log.
QString ActivityLog::freeRotatedName() const
{
    const QDir folder(m_folder);
    const QString stem = u"Reg"_s + m_clock.now().date().toString(u"ddMMyy"_s);
    QString name = stem + u".txt"_s;
    for (int n = 1; folder.exists(name); ++n)
        name = stem + u'_' + QString::number(n) + u".txt"_s;
    return folder.filePath(name);
}
