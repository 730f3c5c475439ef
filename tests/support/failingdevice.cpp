#include "support/failingdevice.h"

FailingDevice::FailingDevice(qint64 acceptedBytes)
    : m_room(acceptedBytes)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 FailingDevice::writeData(const char*, qint64 size)
{
    const qint64 taken = qMin(m_room, size);
    m_room -= taken;
    return taken > 0 ? taken : -1;
}
