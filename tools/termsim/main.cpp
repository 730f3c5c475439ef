#include "simulatedterminal.h"
#include "simulatorcommands.h"

#include "app/systemsignals.h"
#include "terminal/netctl/endpoint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <iostream>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The commands the standard input feeds, while they exist.
SimulatorCommands* g_commands = nullptr;

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString& message)
{
    err() << "parvix-termsim: " << message << '\n';
    err().flush();
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"parvix-termsim"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Badge-terminal simulator for Parvix. Each terminal listens on its own address for the "
        "server. Commands (typed or from --script): read/store TERMINAL BADGE FUNCTION "
        "[POSITION [ORDER [HHMM [DDMMYY]]]], generate TERMINAL COUNT [DAYS [BADGES]], presence "
        "TERMINAL, send TERMINAL TEXT (<N> is character N), fault TERMINAL NAME [N] (late-dir MS, "
        "lose-del, keep-del, drop-listing, silent, refuse, wrong-count N; each strikes once), "
        "wait MS, quit."_s);
    parser.addHelpOption();
    const QCommandLineOption terminal(
        u"terminal"_s,
        u"A terminal at ADDRESS, with its number (default: its place in the list)."_s,
        u"ADDRESS[=NUMBER]"_s);
    const QCommandLineOption port(
        u"port"_s, u"Port the terminals listen on (default 8499; 0: a free port each, printed)."_s,
        u"N"_s, u"8499"_s);
    const QCommandLineOption server(
        u"server"_s, u"Call the server at HOST:PORT when it has no link to a terminal."_s,
        u"HOST:PORT"_s);
    const QCommandLineOption files(
        u"files"_s, u"Folder of the transit files PASSAGGI-ADDRESS.txt (default: .)."_s, u"DIR"_s,
        u"."_s);
    const QCommandLineOption script(u"script"_s, u"Run the commands of FILE, then read stdin."_s,
                                    u"FILE"_s);
    parser.addOptions({terminal, port, server, files, script});
    parser.process(app);

    std::optional<SimulatedTerminal::Server> serverAddress;
    if (parser.isSet(server)) {
        const auto endpoint = Endpoint::parse(parser.value(server), 0);
        if (!endpoint || endpoint->port == 0)
            return fail(u"--server needs HOST:PORT with an IPv4 host"_s);
        serverAddress = SimulatedTerminal::Server{QHostAddress(endpoint->host), endpoint->port};
    }
    bool portOk = false;
    const uint listenPort = parser.value(port).toUInt(&portOk);
    if (!portOk || listenPort > 65535)
        return fail(u"--port needs a port number"_s);
    if (!parser.isSet(terminal))
        return fail(u"give at least one --terminal ADDRESS"_s);

    QTextStream out(stdout);
    // Declared after the stream they print to, so they are gone before it.
    std::vector<std::unique_ptr<SimulatedTerminal>> owned;
    QList<SimulatedTerminal*> terminals;
    const QStringList terminalOptions = parser.values(terminal);
    for (qsizetype i = 0; i < terminalOptions.size(); ++i) {
        const QString address = terminalOptions[i].section(u'=', 0, 0);
        const QString number = terminalOptions[i].section(u'=', 1);
        bool numberOk = number.isEmpty();
        const int value = numberOk ? int(i + 1) : number.toInt(&numberOk);
        if (!Endpoint::parse(address, 0) || !numberOk)
            return fail(u"bad --terminal '%1'"_s.arg(terminalOptions[i]));
        // Terminals that share an address (on ports of their own) have files of their own.
        const bool shared = terminalOptions
                                .filter(QRegularExpression(
                                    u"^"_s + QRegularExpression::escape(address) + u"(=|$)"_s))
                                .size() > 1;
        const QString file = QDir(parser.value(files))
                                 .filePath(shared ? u"PASSAGGI-%1-%2.txt"_s.arg(address).arg(value)
                                                  : u"PASSAGGI-%1.txt"_s.arg(address));
        auto& simulated = owned.emplace_back(std::make_unique<SimulatedTerminal>(
            address, static_cast<qint16>(value), file, serverAddress, out));
        QString error;
        if (!simulated->listen(static_cast<quint16>(listenPort), error))
            return fail(error);
        terminals.append(simulated.get());
    }

    SimulatorCommands commands(terminals, out);
    QObject::connect(&commands, &SimulatorCommands::quitRequested, &app, &QCoreApplication::quit);
    SystemSignals systemSignals;
    QObject::connect(&systemSignals, &SystemSignals::terminateRequested, &app,
                     &QCoreApplication::quit);

    if (parser.isSet(script)) {
        QFile file(parser.value(script));
        if (!file.open(QIODevice::ReadOnly))
            return fail(u"cannot read %1: %2"_s.arg(file.fileName(), file.errorString()));
        commands.enqueue(QString::fromLatin1(file.readAll()).split(u'\n'));
    }
    // Standard input: one command a line; at its end the terminals keep running.
    g_commands = &commands;
    std::thread([] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (QCoreApplication* application = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    application,
                    [text = QString::fromLatin1(line)] {
                        if (g_commands)
                            g_commands->enqueue({text});
                    },
                    Qt::QueuedConnection);
        }
    }).detach();
    const int code = QCoreApplication::exec();
    g_commands = nullptr;
    return code;
}
