#pragma once

#include <QIODevice>

// A device that accepts a given number of bytes and then fails every write,
// as a full disk or a lost network share does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 acceptedBytes);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override;

private:
    qint64 m_room;
};
