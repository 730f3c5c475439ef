#include "terminal/collectedtransits.h"

#include <QFile>
#include <QTemporaryDir>

// Any Scarico.txt: read back and ordered, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("Scarico.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    CollectedTransits transits(folder.path());
    QList<CollectedTransit> lines;
    Error error;
    if (transits.read(QStringLiteral("Scarico.txt"), lines, error))
        CollectedTransits::sortChronologically(lines);
    return 0;
}
