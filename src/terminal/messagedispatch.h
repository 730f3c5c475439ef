#pragma once

#include "posting/transitread.h"
#include "terminal/receivedmessage.h"

#include <QObject>

class ActivityLog;
class Connections;
class NetworkControl;
class OperatorReport;
class TerminalRegistry;
struct Switches;

// The handler of every message a terminal sends: normalise, note presence,
// echo, log, set the registers, then hand the message to the one procedure
// that serves its kind. The download cycle and the live-read road subscribe
// to the signals, which run at once, in dispatch order.
class MessageDispatch : public QObject
{
    Q_OBJECT

public:
    struct Collaborators
    {
        TerminalRegistry& registry;
        NetworkControl& control;
        Connections& connections;
        ActivityLog& log;
        OperatorReport& report;
        const Switches& switches;
    };

    explicit MessageDispatch(const Collaborators& with, QObject* parent = nullptr);

    void OnDataArrival(const QString& IPTer, const QString& Data, qint16 NumTer);

Q_SIGNALS:
    // A reply beginning with "DIR", with or without a file.
    void directoryReply(const ReceivedMessage& message);
    // Any other message of the terminal whose file is being transferred.
    void transferMessage(const ReceivedMessage& message);
    // A complete record from a terminal not in transfer.
    void liveRead(const TransitRead& read);

private:
    QString normalise(const QString& IPTer, const QString& Data) const;
    void echo(const QString& IPTer, qint16 NumTer, const QString& m);

    Collaborators m_with;
};
