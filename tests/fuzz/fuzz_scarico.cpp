#include "spool/legacypass.h"
#include "spool/passfiles.h"
#include "spool/spool.h"
#include "support/tempworkspace.h"

using namespace Qt::StringLiterals;

// Any files an earlier version may have left (Scarico.txt, then after NUL
// bytes ScaricoOK.txt, ScaricoOK.pos, ScaricoInCancellazione.txt): taken
// into a spool and ordered into ScaricoOK.txt, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TempWorkspace folder;
    static const QStringList names{u"Scarico.txt"_s, u"ScaricoOK.txt"_s, u"ScaricoOK.pos"_s,
                                   u"ScaricoInCancellazione.txt"_s};
    const QList<QByteArray> parts =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
    for (qsizetype i = 0; i < names.size(); ++i)
        folder.write(names[i], parts.value(i));
    Spool spool(u":memory:"_s);
    bool created = false;
    Error error;
    const auto legacy = [] {
        return LegacyPass::read(folder.path(), [](int) { return 2; });
    };
    if (spool.open(legacy, created, error))
        PassFiles(folder.path()).writeOrdered(spool, error);
    return 0;
}
