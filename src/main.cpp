#include "app/clock.h"
#include "app/commandline.h"
#include "app/eventwait.h"
#include "app/headlessconsole.h"
#include "app/server.h"
#include "app/unixsignals.h"
#include "terminal/netctl/tcpnetworkcontrol.h"
#include "terminal/terminalregistry.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"parvix"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Version::Text));

    QTextStream err(stderr);
    CommandLine options;
    QString error;
    if (!CommandLine::parse(QCoreApplication::arguments(), options, error)) {
        err << "parvix: " << error << "\n";
        return 2;
    }
    if (!options.headless)
        err << "parvix: this build has no operator window yet; running headless\n";
    err.flush();

    SystemClock clock;
    TerminalRegistry registry;
    Switches switches = options.switches;
    const EventWait wait(options.timeScale);
    TcpNetworkControl control(registry.table, {options.listenPort, options.terminalPort});
    ParvixServer server({clock, control, registry, switches, wait, QDir::currentPath()});

    QTextStream out(stdout);
    HeadlessConsole console(server, out);
    if (!server.start()) {
        err << server.startupFailure() << "\n";
        return 1;
    }

    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::terminateRequested, &app, [&] {
        server.shutdown();
        QCoreApplication::quit();
    });
    // The "AGGIORNA Porte" button of the window.
    QObject::connect(&unixSignals, &UnixSignals::hangupRequested, &server,
                     [&] { server.connections().Collega(); });
    const int code = QCoreApplication::exec();
    server.shutdown(); // runs a second time as the program ends, as the window's destruction does
    return code;
}
