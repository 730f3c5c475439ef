#include "spool/appendonce.h"

#include "app/errorcatalogue.h"

#include <QFile>
#include <QFileInfo>

namespace AppendOnce {

qint64 offsetOf(const QString& path)
{
    return QFileInfo(path).size();
}

bool append(const QString& path, const QByteArray& bytes, Error& error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    return true;
}

bool settle(const QString& path, qint64 offset, const QByteArray& bytes, Error& error)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() >= offset + bytes.size() &&
        file.seek(offset) && file.read(bytes.size()) == bytes)
        return true;
    file.close();
    return append(path, bytes, error);
}

} // namespace AppendOnce
