#include "app/portstatusfile.h"

#include "app/clock.h"
#include "app/datedline.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

PortStatusFile::PortStatusFile(const Clock& clock)
    : m_clock(clock)
    , m_path(QDir::current().filePath(u"StatoPorteQZ.txt"_s))
{}

void PortStatusFile::setLocation(const QString& workingDirectory, const QString& CartellaRegistro)
{
    m_path = DatedLine::inFolder(workingDirectory, CartellaRegistro, u"StatoPorteQZ.txt"_s);
}

QString PortStatusFile::filePath() const
{
    return m_path;
}

void PortStatusFile::StatoPorte(const QString& Stringa, qint16 TipoOper)
{
    if (TipoOper == 1)
        QFile::remove(m_path);
    else
        DatedLine::append(m_path, DatedLine::make(m_clock.now(), Stringa));
}
