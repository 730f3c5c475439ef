#include "app/recordwriter.h"

#include "app/errorcatalogue.h"

#include <QSaveFile>

namespace RecordWriter {

QByteArray quotedRecord(const QStringList& values)
{
    QByteArray line;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += ',';
        line += '"' + values[i].toLatin1() + '"';
    }
    return line + "\r\n";
}

QByteArray plainLine(const QString& line)
{
    return line.toLatin1() + "\r\n";
}

bool write(QIODevice& device, const QByteArray& content, Error& error)
{
    if (device.write(content) != content.size()) {
        error = ErrorCatalogue::make(ErrorNumber::DeviceIo);
        return false;
    }
    return true;
}

bool replaceFile(const QString& path, const QByteArray& content, Error& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    if (!write(file, content, error))
        return false;
    if (!file.commit()) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    return true;
}

} // namespace RecordWriter
