#include "health/alertsettings.h"

#include "app/errorcatalogue.h"
#include "app/settingsreader.h"

#include <QFileInfo>

bool AlertSettings::read(const QString& path, AlertSettings& settings, Error& error)
{
    settings = AlertSettings();
    if (!QFileInfo::exists(path))
        return true;
    SettingsReader reader;
    QStringList fields;
    AlertSettings read;
    if (!reader.open(path, error) || !reader.read(2, fields, error) ||
        !SettingsReader::toInt32(fields[0], read.linkMinutes, error) ||
        !SettingsReader::toInt32(fields[1], read.freeSpaceMB, error))
        return false;
    if (read.linkMinutes < 0 || read.freeSpaceMB < 0) {
        error = ErrorCatalogue::make(ErrorNumber::Overflow);
        return false;
    }
    settings = read;
    return true;
}
