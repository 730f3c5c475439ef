#include "app/settingsreader.h"

// Any settings file: fields come out or error 62 does, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SettingsReader reader;
    reader.setData(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QStringList fields;
    Error error;
    for (int count : {3, 1, 19, 2}) {
        if (!reader.read(count, fields, error))
            break;
        qint16 small = 0;
        qint32 large = 0;
        SettingsReader::toInt16(fields.first(), small, error);
        SettingsReader::toInt32(fields.last(), large, error);
    }
    return 0;
}
