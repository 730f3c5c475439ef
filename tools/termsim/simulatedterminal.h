#pragma once

#include "terminal/netctl/framesplitter.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include <optional>

class QTcpSocket;
class QTextStream;

// One badge terminal: it listens on its own address for the server, answers
// the file commands from its transit file, shows display texts, and sends the
// reads and presence messages it is told to. It answers nothing else.
class SimulatedTerminal : public QObject
{
    Q_OBJECT

public:
    // Faults to put on for tests.
    struct Faults
    {
        int countOffset = 0; // added to the count at the end of a listing
        // These two strike each terminal's first transfer only.
        bool silentAfterLock = false; // no reply from "CONSIDLE" to "OFFLINE"
        bool dropMidListing = false;  // the link drops halfway through a listing
        bool refuseListing = false;   // "TYPE PASSAGGI ?*"
    };
    struct Server
    {
        QHostAddress address;
        quint16 port = 0;
    };

    SimulatedTerminal(const QString& address, qint16 number, const QString& transitFile,
                      Faults faults, std::optional<Server> server, QTextStream& out,
                      QObject* parent = nullptr);
    ~SimulatedTerminal() override;

    bool listen(quint16 port, QString& error);
    QString address() const { return m_address; }
    qint16 number() const { return m_number; }

    // A text sent unasked (a live read, a presence message): over the link
    // the server opened, or by calling the server when there is none.
    void sendUnasked(const QString& text);
    void storeRecord(const QString& record);

private:
    void accept();
    void attach(QTcpSocket* socket);
    void onReadyRead();
    void answer(const QString& message);
    void list();
    void write(const QString& text);
    void print(const QString& line);

    QString m_address;
    qint16 m_number;
    QString m_transitFile;
    Faults m_faults;
    std::optional<Server> m_serverAddress;
    QTextStream& m_out;
    QTcpServer m_listener;
    QPointer<QTcpSocket> m_link;
    FrameSplitter m_frames;
    QList<QString> m_waiting; // texts for a link still being opened
    bool m_locked = false;
    bool m_silent = false;
};
