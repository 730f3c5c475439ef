#include "app/settingsfiles.h"

#include "app/basictext.h"
#include "app/recordwriter.h"
#include "app/settingsreader.h"

using namespace Qt::StringLiterals;

namespace SettingsFiles {

namespace {

bool readFields(const QString& path, int count, QStringList& fields, Error& error)
{
    SettingsReader reader;
    return reader.open(path, error) && reader.read(count, fields, error);
}

// One read of `count` fields of which only field `index` (from 0) is kept.
bool readTextField(const QString& path, int count, int index, QString& value, Error& error)
{
    QStringList fields;
    if (!readFields(path, count, fields, error))
        return false;
    value = fields[index];
    return true;
}

} // namespace

bool readWorkspace(const QString& path, Settings& settings, Error& error)
{
    QStringList fields;
    if (!readFields(path, 18, fields, error))
        return false;
    settings.CartellaRegistro = fields[2];
    settings.CartellaOre = fields[3];
    settings.CartellaBackup = fields[6];
    return true;
}

QString readServerAddress(const QString& path)
{
    QString address;
    Error ignored;
    return readTextField(path, 1, 0, address, ignored) ? address : QString();
}

bool readTerminalCount(const QString& path, Settings& settings, Error& error)
{
    QStringList fields;
    qint32 count = 0;
    qint16 presAuto = 0;
    qint16 presAutoFine = 0;
    if (!readFields(path, 3, fields, error) || !SettingsReader::toInt32(fields[0], count, error) ||
        !SettingsReader::toInt16(fields[1], presAuto, error) ||
        !SettingsReader::toInt16(fields[2], presAutoFine, error))
        return false;
    settings.NumTerminali = count;
    settings.PresAuto = presAuto;
    settings.PresAutoFine = presAutoFine;
    return true;
}

bool readConnection(const QString& path, Settings& settings, Error& error)
{
    return readTextField(path, 1, 0, settings.StringaConn, error);
}

bool readOre(const QString& path, Settings& settings, Error& error)
{
    return readTextField(path, 19, 18, settings.ModoTarga, error);
}

bool readBranch(const QString& path, Settings& settings, Error& error)
{
    QStringList fields;
    qint16 branch = 0;
    if (!readFields(path, 1, fields, error) || !SettingsReader::toInt16(fields[0], branch, error))
        return false;
    settings.NumFiliale = branch;
    return true;
}

bool readTerminalRows(const QString& path, TerminalRows& rows, Error& error)
{
    SettingsReader reader;
    if (!reader.open(path, error))
        return false;
    rows = TerminalRows();
    QStringList record;
    Error ignored;
    while (reader.read(2, record, ignored)) {
        const qint64 number = Basic::Val(record[0]);
        if (number > TerminalRows::Count)
            rows.beyond.append(QString::number(number) + u" ("_s + record[1].trimmed() + u')');
        else if (number > 0) {
            rows.number[number - 1] = QString::number(number);
            rows.address[number - 1] = record[1].trimmed();
        }
    }
    return true;
}

bool writeTerminalRows(const QString& path, const TerminalRows& rows, qint32 NumTerminali,
                       Error& error)
{
    QByteArray content;
    for (int row = 0; row < qMin(NumTerminali, TerminalRows::Count); ++row) {
        if (!rows.number[row].isEmpty())
            content += RecordWriter::quotedRecord({rows.number[row], rows.address[row]});
    }
    return RecordWriter::replaceFile(path, content, error);
}

bool createDefaultTerminalCount(const QString& path, Error& error)
{
    return RecordWriter::replaceFile(path, RecordWriter::plainLine(u"3, 0, 0"_s), error);
}

bool createDefaultTerminalTable(const QString& path, Error& error)
{
    return RecordWriter::replaceFile(path, RecordWriter::quotedRecord({u"1"_s, u"192.168.1.100"_s}),
                                     error);
}

} // namespace SettingsFiles
