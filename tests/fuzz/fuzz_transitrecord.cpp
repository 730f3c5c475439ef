#include "posting/transitrecord.h"

// Any text as a record: decoded or refused with an error, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString record =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Transito transit;
    Error error;
    TransitRecord::decode(record, 1, 1, 2026, transit, error);
    TransitRecord::date(record);
    return 0;
}
