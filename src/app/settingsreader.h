#pragma once

#include "app/error.h"

#include <QByteArray>
#include <QStringList>

// Reads a settings file as a stream of delimited fields, the way the
// installation's other programs write them:
// - blanks, CR and LF before a field are skipped;
// - a field in double quotes runs to the next double quote (commas and blanks
//   included); whatever follows it up to the next comma or line end is skipped;
// - any other field runs up to the next comma or line end;
// - running out of file before every asked field is read fails with error 62.
class SettingsReader
{
public:
    bool open(const QString& path, Error& error);
    void setData(const QByteArray& data);

    // One read statement: the next `count` fields, in order.
    bool read(int count, QStringList& fields, Error& error);

    // Numeric fields, converted from their text: error 13 when the text is
    // not a number, error 6 when it does not fit.
    static bool toInt16(const QString& text, qint16& value, Error& error);
    static bool toInt32(const QString& text, qint32& value, Error& error);

private:
    bool readField(QString& field);

    QByteArray m_data;
    qsizetype m_pos = 0;
    bool m_fieldPromised = false; // the last field ended at a comma, so another one follows
};
