#include "app/commandline.h"

#include <QCommandLineParser>
#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace {

bool parsePort(const QString& text, quint16& port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    port = static_cast<quint16>(value);
    return true;
}

} // namespace

bool CommandLine::parse(const QStringList& arguments, CommandLine& result, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Parvix: server dei terminali di rilevazione presenze e produzione."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(u"headless"_s,
                                      u"Run without window: lists go to standard output."_s);
    const QCommandLineOption listenPort(u"listen-port"_s,
                                        u"Port where terminals call in (default 8499)."_s, u"N"_s);
    const QCommandLineOption terminalPort(
        u"terminal-port"_s, u"Port of the terminals the server calls (default 8499)."_s, u"N"_s);
    const QCommandLineOption showMessages(u"show-messages"_s,
                                          u"Check \"Visualizza Comandi\" at start."_s);
    const QCommandLineOption hideErrors(u"hide-errors"_s,
                                        u"Uncheck \"Visualizza Errori\" at start."_s);
    const QCommandLineOption trace(u"trace"_s, u"Check \"Trace ON\" at start."_s);
    const QCommandLineOption saveAll(u"save-all"_s, u"Check \"Salva Tutto\" at start."_s);
    const QCommandLineOption timeScale(
        u"time-scale"_s,
        u"Multiply every timer, wait and time-out by F (0 < F <= 1; tests and demos)."_s, u"F"_s);
    const QCommandLineOption repostFailed(
        u"repost-failed"_s,
        u"Post again the stored transits that failed (ScaricoNonRegistrati.txt); SIGUSR1 does "
        "the same while the server runs."_s);
    const QCommandLineOption metricsPort(
        u"metrics-port"_s,
        u"Serve /metrics and /health for a monitor on this port (default off)."_s, u"N"_s);
    const QCommandLineOption metricsAddress(
        u"metrics-address"_s, u"Address of the monitor's endpoint (default 127.0.0.1)."_s, u"A"_s);
    parser.addOptions({headless, listenPort, terminalPort, showMessages, hideErrors, trace, saveAll,
                       timeScale, repostFailed, metricsPort, metricsAddress});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(u"help"_s))
        parser.showHelp();
    if (parser.isSet(u"version"_s))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        error = u"Unexpected argument: "_s + parser.positionalArguments().first();
        return false;
    }

    CommandLine options;
    options.headless = parser.isSet(headless);
    options.repostFailed = parser.isSet(repostFailed);
    if (parser.isSet(listenPort) && !parsePort(parser.value(listenPort), options.listenPort)) {
        error = u"--listen-port needs a port number from 1 to 65535"_s;
        return false;
    }
    if (parser.isSet(terminalPort) &&
        !parsePort(parser.value(terminalPort), options.terminalPort)) {
        error = u"--terminal-port needs a port number from 1 to 65535"_s;
        return false;
    }
    if (parser.isSet(metricsPort) && !parsePort(parser.value(metricsPort), options.metricsPort)) {
        error = u"--metrics-port needs a port number from 1 to 65535"_s;
        return false;
    }
    if (parser.isSet(metricsAddress)) {
        options.metricsAddress = parser.value(metricsAddress);
        if (QHostAddress(options.metricsAddress).isNull()) {
            error = u"--metrics-address needs an IP address such as 127.0.0.1"_s;
            return false;
        }
    }
    if (parser.isSet(timeScale)) {
        bool ok = false;
        options.timeScale = parser.value(timeScale).toDouble(&ok);
        if (!ok || !(options.timeScale > 0.0 && options.timeScale <= 1.0)) {
            error = u"--time-scale needs a number F with 0 < F <= 1"_s;
            return false;
        }
    }
    options.switches.OPT1 = parser.isSet(showMessages);
    options.switches.Check1 = !parser.isSet(hideErrors);
    options.switches.TraceON = parser.isSet(trace);
    options.switches.SalvaT = parser.isSet(saveAll);
    result = options;
    return true;
}
