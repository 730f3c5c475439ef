#include "support/spoolprobe.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

qint64 spoolLines(const QString& workingDirectory, const QString& condition)
{
    const QString path = QDir(workingDirectory).filePath(u"Scarico.db"_s);
    if (!QFileInfo::exists(path))
        return -1;
    qint64 count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"spool-probe"_s);
        db.setDatabaseName(path);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
        QSqlQuery query(db);
        if (db.open() && query.exec(u"SELECT COUNT(*) FROM Lines WHERE "_s + condition) &&
            query.next())
            count = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(u"spool-probe"_s);
    return count;
}
