#include "support/failingdevice.h"

FailingDevice::FailingDevice(qint64 acceptedBytes)
    : m_accepted(acceptedBytes)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 FailingDevice::readData(char*, qint64)
{
    return -1;
}

qint64 FailingDevice::writeData(const char* data, qint64 size)
{
    const qint64 room = m_accepted - m_written.size();
    if (room <= 0)
        return -1;
    const qint64 taken = qMin(room, size);
    m_written.append(data, taken);
    return taken;
}
