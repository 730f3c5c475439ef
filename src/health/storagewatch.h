#pragma once

#include <QList>
#include <QString>

class Alerts;

// The folders the server must write to and the free space of the working
// folder's disk, looked at now and then: each folder that cannot take a file
// raises its alert, and so does a disk with less free space than the threshold.
class StorageWatch
{
public:
    struct Folder
    {
        QString name; // for the operator: "cartella del registro"
        QString path;
    };

    explicit StorageWatch(Alerts& alerts);

    void setFolders(const QList<Folder>& folders) { m_folders = folders; }
    // 0 turns the free-space alert off.
    void setDisk(const QString& path, qint64 freeSpaceMB);
    void check();

    // The free space of the disk at the last check, -1 when unknown.
    qint64 freeBytes() const { return m_freeBytes; }

private:
    // Empty when a file can be written there; why not otherwise.
    static QString writeProblem(const QString& folder);

    Alerts& m_alerts;
    QList<Folder> m_folders;
    QString m_disk;
    qint64 m_freeSpaceMB = 0;
    qint64 m_freeBytes = -1;
};
