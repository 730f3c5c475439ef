#include "app/clock.h"
#include "app/commandline.h"
#include "app/eventwait.h"
#include "app/systemsignals.h"
#include "console/frmparvix.h"
#include "console/messageboxes.h"
#include "server/headlessconsole.h"
#include "server/server.h"
#include "terminal/netctl/tcpnetworkcontrol.h"
#include "terminal/terminalregistry.h"
#include "version.h"

#include <QApplication>
#include <QDir>
#include <QHostAddress>
#include <QTextStream>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A window needs a display; without one the server runs headless rather than not at all.
bool displayAvailable()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[])
{
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || QByteArray(argv[i]) == "--headless";
    QTextStream err(stderr);
    if (!headless && !displayAvailable()) {
        err << "parvix: no display to open the window on; running headless\n";
        err.flush();
        headless = true;
    }
    std::unique_ptr<QCoreApplication> app = headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"parvix"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Version::Text));

    CommandLine options;
    QString error;
    if (!CommandLine::parse(QCoreApplication::arguments(), options, error)) {
        err << "parvix: " << error << "\n";
        return 2;
    }

    SystemClock clock;
    TerminalRegistry registry;
    Switches switches = options.switches;
    const EventWait wait(options.timeScale);
    TcpNetworkControl control(registry.table, {options.listenPort, options.terminalPort});
    ParvixServer server({clock, control, registry, switches, wait, QDir::currentPath()});

    // The window (or the headless output) watches the core from the start,
    // since terminals may connect during start-up.
    QTextStream out(stdout);
    std::unique_ptr<HeadlessConsole> console;
    MessageBoxes boxes;
    std::unique_ptr<FrmParvix> window;
    if (headless) {
        console = std::make_unique<HeadlessConsole>(server, out);
    } else {
        window = std::make_unique<FrmParvix>(server, switches, boxes, options.listenPort);
        QObject::connect(window.get(), &FrmParvix::closed, app.get(), &QCoreApplication::quit);
    }
    SystemSignals systemSignals;
    if (!server.start()) {
        err << server.startupFailure() << "\n";
        return 1;
    }
    if (window)
        window->show();
    if (options.metricsPort != 0)
        server.openEndpoint(QHostAddress(options.metricsAddress), options.metricsPort);

    QObject::connect(&systemSignals, &SystemSignals::terminateRequested, app.get(), [&] {
        server.shutdown();
        QCoreApplication::quit();
    });
    // The "AGGIORNA Porte" button of the window.
    QObject::connect(&systemSignals, &SystemSignals::hangupRequested, &server,
                     [&] { server.connections().Collega(); });
    QObject::connect(&systemSignals, &SystemSignals::retryRequested, &server,
                     [&] { server.download().retryFailed(); });
    if (options.repostFailed)
        QObject::connect(&server, &ParvixServer::started, &server,
                         [&] { server.download().retryFailed(); });
    const int code = QCoreApplication::exec();
    server.shutdown(); // runs a second time as the program ends, as the window's destruction does
    return code;
}
