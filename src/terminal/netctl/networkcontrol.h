#pragma once

#include <QObject>
#include <QString>

// The one carrier of all traffic with the terminals: six operations and three
// events, all on the one thread. Results are 16-bit codes, 0 = success.
class NetworkControl : public QObject
{
    Q_OBJECT

public:
    // Results other than 0 that the operations give.
    enum Result : qint16
    {
        Ok = 0,
        AlreadyStopped = -1,
        ServiceStopped = 1, // the service is not running
        BadAddress = 2,     // not a dotted IPv4 address, optionally with ":port"
        NoLink = 3,         // no link stands to that address
        BadText = 4,        // the text holds an LF or exceeds the message limit
        QueueFull = 5,      // too many texts wait for a link still being established
        ListenFailed = 6,   // the listening port could not be opened
    };

    using QObject::QObject;

    // What a result other than 0 means, for the log.
    static QString describe(qint16 result);

    virtual qint16 StartService() = 0;
    // 0 = stopped now, -1 = it was already stopped.
    virtual qint16 StopService() = 0;
    virtual void LocalAddress(QString& Address) = 0;
    // Mode is always "X"; Channel is filled but nobody reads it.
    virtual qint16 OpenLink(const QString& IPTer, const QString& Mode, qint16& Channel) = 0;
    // Sends the first Length characters of Text as one message.
    virtual qint16 SendText(const QString& IPTer, qint16 NumTer, const QString& Text,
                            qint16 Length) = 0;
    // 1 = the sender's data carry one leading character to drop; 2 = data as they stand.
    virtual qint16 LinkType(const QString& IPTer) = 0;
    // Whether terminals can call in: the service runs and holds its port.
    virtual bool isListening() const = 0;

Q_SIGNALS:
    void OnConnect(const QString& IPTer);
    void OnDataArrival(const QString& IPTer, const QString& Data, qint16 NumTer);
    void OnStateChange(qint16 State, const QString& IPTer, qint16 NumTer);
    // A line for the activity log about the control's own work (refused
    // peers, discarded messages, failed links).
    void report(const QString& text);
    // A failure the operator must see, such as a listening port that is taken.
    void failure(const QString& text);
};
