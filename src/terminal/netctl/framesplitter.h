#pragma once

#include <QByteArray>
#include <QList>

// Cuts the byte stream of one link into messages: each ends with LF, a CR
// before the LF is dropped, and a message longer than MaxMessage bytes is
// discarded whole without ever being held in memory beyond that size.
class FrameSplitter
{
public:
    static constexpr qsizetype MaxMessage = 4096;

    struct Result
    {
        QList<QByteArray> messages;
        int discarded = 0;
    };

    Result feed(const QByteArray& bytes);

private:
    QByteArray m_partial;
    bool m_discarding = false;
};
