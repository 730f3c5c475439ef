#pragma once

#include <QIODevice>

// A device that accepts a given number of bytes and then fails every write,
// as a full disk or a lost network share does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 acceptedBytes);

    QByteArray written() const { return m_written; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    qint64 m_accepted;
    QByteArray m_written;
};
