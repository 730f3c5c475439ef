#include "support/serverfixture.h"

#include <QCoreApplication>

// Any message from any terminal number, through the dispatch, the check and
// the posting of a demo database: never a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Kept for the life of the process: torn down after the application at
    // exit, they would outlive what they depend on.
    static int argc = 1;
    static char name[] = "fuzz_dispatch";
    static char* argv[] = {name, nullptr};
    [[maybe_unused]] static auto* app = new QCoreApplication(argc, argv);
    static auto* fixture = new ServerFixture;
    static const bool started = fixture->useDatabase() && fixture->start();
    if (!started || size == 0)
        return 0;
    const qint16 terminal = static_cast<qint16>(static_cast<int8_t>(data[0]));
    const QString message = QString::fromLatin1(reinterpret_cast<const char*>(data) + 1,
                                                static_cast<qsizetype>(size - 1));
    fixture->control.raiseData(QStringLiteral("127.0.0.11"), message, terminal);
    QCoreApplication::processEvents();
    fixture->control.clearCalls();
    return 0;
}
