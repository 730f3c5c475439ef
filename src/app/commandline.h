#pragma once

#include "app/switches.h"

#include <QStringList>

// The command line of the server (see --help).
struct CommandLine
{
    bool headless = false;
    quint16 listenPort = 8499;
    quint16 terminalPort = 8499;
    double timeScale = 1.0;
    bool repostFailed = false;
    quint16 metricsPort = 0; // 0: no endpoint for the monitor
    QString metricsAddress = QStringLiteral("127.0.0.1");
    Switches switches;

    // False with a message for the user when an option is wrong; --help and
    // --version print their text and end the process.
    static bool parse(const QStringList& arguments, CommandLine& result, QString& error);
};
