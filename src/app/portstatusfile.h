#pragma once

#include <QString>

class Clock;

// StatoPorteQZ.txt: the terminal connections made since the last connection
// pass, for other programs and the operator to read. Failures are swallowed.
class PortStatusFile
{
public:
    explicit PortStatusFile(const Clock& clock);

    void setLocation(const QString& workingDirectory, const QString& CartellaRegistro);
    QString filePath() const;

    // TipoOper 1 deletes the file; any other value appends Stringa as a dated line.
    void StatoPorte(const QString& Stringa, qint16 TipoOper);

private:
    const Clock& m_clock;
    QString m_path;
};
