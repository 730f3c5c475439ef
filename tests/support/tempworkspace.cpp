#include "support/tempworkspace.h"

#include "app/recordwriter.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

void TempWorkspace::write(const QString& relative, const QByteArray& content) const
{
    const QString target = filePath(relative);
    QDir().mkpath(QFileInfo(target).path());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

QByteArray TempWorkspace::read(const QString& relative) const
{
    QFile file(filePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList TempWorkspace::lines(const QString& relative) const
{
    QStringList result = QString::fromLatin1(read(relative)).split(u"\r\n"_s);
    if (result.last().isEmpty())
        result.removeLast();
    return result;
}

void TempWorkspace::remove(const QString& relative) const
{
    QDir(filePath(relative)).removeRecursively(); // nothing to do for a file
    QFile::remove(filePath(relative));
}

void TempWorkspace::writeCompleteSettings(const QList<QStringList>& terminals)
{
    QStringList workspace(18, u"x"_s);
    workspace[2] = u"Log"_s;
    workspace[3] = u"."_s;
    workspace[6] = u"Backup"_s;
    write(u"Set/Workspace.set"_s, RecordWriter::quotedRecord(workspace));
    write(u"Set/ParvixIP.set"_s,
          RecordWriter::plainLine(QString::number(terminals.size()) + u", 0, 0"_s));
    write(u"Set/Connection.set"_s,
          RecordWriter::quotedRecord({u"Provider=SQLite;Data Source=parvix.db"_s}));
    write(u"Set/Filiale.set"_s, RecordWriter::plainLine(u"1"_s));
    write(u"Set/ParvixSrv.set"_s, RecordWriter::quotedRecord({u"127.0.0.1"_s}));
    write(u"Ore.dat"_s, RecordWriter::quotedRecord(QStringList(18) << u"TARGA"_s)); // ModoTarga
    QByteArray table;
    for (const QStringList& terminal : terminals)
        table += RecordWriter::quotedRecord(terminal);
    write(u"Set/ParvixHost.set"_s, table);
    QDir(path()).mkpath(u"Log"_s);
    QDir(path()).mkpath(u"Backup"_s);
}
