#include "health/storagewatch.h"

#include "health/alerts.h"

#include <QDir>
#include <QStorageInfo>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 MB = 1024 * 1024;
const QString DiskKey = u"disk"_s;
} // namespace

StorageWatch::StorageWatch(Alerts& alerts)
    : m_alerts(alerts)
{}

void StorageWatch::setDisk(const QString& path, qint64 freeSpaceMB)
{
    m_disk = path;
    m_freeSpaceMB = freeSpaceMB;
}

void StorageWatch::check()
{
    for (const Folder& folder : std::as_const(m_folders)) {
        const QString key = u"folder "_s + folder.path;
        const QString problem = writeProblem(folder.path);
        if (problem.isEmpty())
            m_alerts.end(key);
        else
            m_alerts.raise(key,
                           folder.name + u" non scrivibile ("_s +
                               QDir::toNativeSeparators(folder.path) + u')',
                           problem);
    }
    if (m_disk.isEmpty())
        return;
    const QStorageInfo disk(m_disk);
    m_freeBytes = disk.isValid() ? disk.bytesAvailable() : -1;
    if (m_freeSpaceMB > 0 && m_freeBytes >= 0 && m_freeBytes < m_freeSpaceMB * MB)
        m_alerts.raise(
            DiskKey,
            u"spazio libero sul disco della cartella di lavoro sotto %1 MB"_s.arg(m_freeSpaceMB),
            u"%1 MB liberi"_s.arg(m_freeBytes / MB));
    else if (m_freeBytes >= 0)
        m_alerts.end(DiskKey);
}

QString StorageWatch::writeProblem(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return u"cartella assente"_s;
    QTemporaryFile probe(QDir(folder).filePath(u".parvix-XXXXXX"_s));
    if (!probe.open())
        return probe.errorString();
    if (probe.write("1", 1) != 1 || !probe.flush())
        return probe.errorString();
    return QString();
}
