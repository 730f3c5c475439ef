#include "app/activitylog.h"

#include "app/basictext.h"
#include "app/clock.h"
#include "app/datedline.h"
#include "app/switches.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

ActivityLog::ActivityLog(const Clock& clock, const Switches& switches)
    : m_clock(clock)
    , m_switches(switches)
    , m_folder(QDir::currentPath())
    , m_encodedPath(filePath().toStdString())
{}

void ActivityLog::setLocation(const QString& workingDirectory, const QString& CartellaRegistro)
{
    m_folder = DatedLine::inFolder(workingDirectory, CartellaRegistro, QString());
    m_encodedPath = filePath().toStdString();
    m_file.reset();
}

QString ActivityLog::filePath() const
{
    return QDir(m_folder).filePath(u"RegistroQZ.txt"_s);
}

void ActivityLog::LogFile(const QString& CmdTxt)
{
    if (filteredOut())
        return;
    const QByteArray line = DatedLine::make(m_clock.now(), CmdTxt);
    Platform::FileIdentity identity;
    std::int64_t size = 0;
    const bool exists = Platform::identityOf(m_encodedPath, identity, &size);
    if (!exists || size > RotationSize)
        rotate(exists);
    else if (m_file && !(m_fileId == identity))
        m_file.reset(); // replaced under the server: the path is the log
    if ((m_file || openFile()) && m_file->write(line) != line.size())
        m_file.reset();
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

// A missing log starts afresh, a full one is moved aside first.
void ActivityLog::rotate(bool exists)
{
    m_file.reset();
    QDir(m_folder).remove(u"Old_RegistroQZ.txt"_s);
    if (exists)
        QFile::rename(filePath(), freeRotatedName()); // failing, the full log is appended to
}

// Opened so that another program may rename or remove the log meanwhile.
bool ActivityLog::openFile()
{
    const int descriptor = Platform::openForAppend(m_encodedPath);
    m_file = std::make_unique<QFile>();
    if (descriptor < 0 ||
        !m_file->open(descriptor, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                      QFileDevice::AutoCloseHandle) ||
        !Platform::identityOf(m_file->handle(), m_fileId)) {
        m_file.reset();
        return false;
    }
    return true;
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
