#include "terminal/collectedtransits.h"

#include <QFile>
#include <QTemporaryDir>

// Any Scarico.txt: ordered into a pass and read back, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("Scarico.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    CollectedTransits transits(folder.path());
    Error error;
    CollectedTransit line;
    if (transits.startPosting(error) && transits.openPass(error)) {
        while (transits.nextInPass(line)) {
        }
    }
    transits.finishPosting();
    return 0;
}
