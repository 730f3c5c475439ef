#include "terminal/netctl/framesplitter.h"

FrameSplitter::Result FrameSplitter::feed(const QByteArray& bytes)
{
    Result result;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', from);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        if (!m_discarding) {
            m_partial.append(bytes.constData() + from, end - from);
            // One byte of slack for the CR that may precede the LF.
            if (m_partial.size() > MaxMessage + 1) {
                m_discarding = true;
                m_partial.clear();
                m_partial.squeeze();
            }
        }
        if (lf < 0)
            break;
        if (m_partial.endsWith('\r'))
            m_partial.chop(1);
        if (m_discarding || m_partial.size() > MaxMessage)
            ++result.discarded;
        else
            result.messages.append(m_partial);
        m_partial.clear();
        m_discarding = false;
        from = lf + 1;
    }
    return result;
}
