#include "terminal/netctl/framesplitter.h"

#include <cstdlib>

// Whatever arrives, in whatever pieces: no message holds an LF or exceeds the limit.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FrameSplitter splitter;
    for (size_t at = 0, piece = 0; at < size; at += piece) {
        piece = 1 + data[at] % 64;
        const QByteArray chunk(reinterpret_cast<const char*>(data) + at,
                               static_cast<qsizetype>(std::min(piece, size - at)));
        for (const QByteArray& message : splitter.feed(chunk).messages) {
            if (message.contains('\n') || message.size() > FrameSplitter::MaxMessage)
                std::abort();
        }
    }
    return 0;
}
