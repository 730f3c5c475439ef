#pragma once

#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

// A throwaway working directory, and helpers to write the settings files as
// an installation holds them.
class TempWorkspace
{
public:
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }

    void write(const QString& relative, const QByteArray& content) const;
    QByteArray read(const QString& relative) const;
    QStringList lines(const QString& relative) const;
    bool exists(const QString& relative) const { return QFileInfo::exists(filePath(relative)); }
    void remove(const QString& relative) const;

    // Every settings file a start-up reads: log in "Log", Ore.dat in the
    // working directory, journal in "Backup", and the terminal table given
    // (number, address) with NumTerminali = its size.
    void writeCompleteSettings(const QList<QStringList>& terminals = {});

private:
    QTemporaryDir m_dir;
};
