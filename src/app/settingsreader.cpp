#include "app/settingsreader.h"

#include "app/errorcatalogue.h"

#include <QFile>

#include <cmath>
#include <limits>

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

template <typename Int> bool toInteger(const QString& text, Int& value, Error& error)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        value = 0;
        return true;
    }
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        error = ErrorCatalogue::make(ErrorNumber::TypeMismatch);
        return false;
    }
    // Fractions round half to even, as the system converts numbers to integers.
    const double rounded = std::nearbyint(number);
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max()) {
        error = ErrorCatalogue::make(ErrorNumber::Overflow);
        return false;
    }
    value = static_cast<Int>(rounded);
    return true;
}

} // namespace

bool SettingsReader::open(const QString& path, Error& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    setData(file.readAll());
    return true;
}

void SettingsReader::setData(const QByteArray& data)
{
    m_data = data;
    m_pos = 0;
    m_fieldPromised = false;
}

bool SettingsReader::read(int count, QStringList& fields, Error& error)
{
    fields.clear();
    for (int i = 0; i < count; ++i) {
        QString field;
        if (!readField(field)) {
            error = ErrorCatalogue::make(ErrorNumber::InputPastEndOfFile);
            return false;
        }
        fields.append(field);
    }
    return true;
}

bool SettingsReader::readField(QString& field)
{
    const qsizetype size = m_data.size();
    while (m_pos < size && (isBlank(m_data[m_pos]) || isLineEnd(m_data[m_pos])))
        ++m_pos;
    if (m_pos >= size) {
        // "a," still holds an empty second field; an exhausted file holds none.
        if (!m_fieldPromised)
            return false;
        m_fieldPromised = false;
        field.clear();
        return true;
    }

    qsizetype end = m_pos;
    if (m_data[m_pos] == '"') {
        const qsizetype start = m_pos + 1;
        end = m_data.indexOf('"', start);
        if (end < 0)
            end = size;
        field = QString::fromLatin1(m_data.mid(start, end - start));
        end = qMin(end + 1, size);
        while (end < size && m_data[end] != ',' && !isLineEnd(m_data[end]))
            ++end;
    } else {
        // Up to the comma or the line end, blanks before them included:
        // "Targa " is not "TARGA".
        while (end < size && m_data[end] != ',' && !isLineEnd(m_data[end]))
            ++end;
        field = QString::fromLatin1(m_data.mid(m_pos, end - m_pos));
    }

    m_fieldPromised = end < size && m_data[end] == ',';
    if (end < size && m_data[end] == ',')
        ++end;
    else if (end < size && m_data[end] == '\r')
        end += (end + 1 < size && m_data[end + 1] == '\n') ? 2 : 1;
    else if (end < size && m_data[end] == '\n')
        ++end;
    m_pos = end;
    return true;
}

bool SettingsReader::toInt16(const QString& text, qint16& value, Error& error)
{
    return toInteger(text, value, error);
}

bool SettingsReader::toInt32(const QString& text, qint32& value, Error& error)
{
    return toInteger(text, value, error);
}
