#pragma once

#include "terminal/netctl/framesplitter.h"

#include <QHostAddress>
#include <QMap>
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
    struct Server
    {
        QHostAddress address;
        quint16 port = 0;
    };

    SimulatedTerminal(const QString& address, qint16 number, const QString& transitFile,
                      std::optional<Server> server, QTextStream& out, QObject* parent = nullptr);
    ~SimulatedTerminal() override;

    bool listen(quint16 port, QString& error);
    // Switched off: its link drops and no one can call it, until switched on
    // again on the same port.
    bool setPowered(bool on, QString& error);
    QString address() const { return m_address; }
    qint16 number() const { return m_number; }

    // A text sent unasked (a live read, a presence message): over the link
    // the server opened, or by calling the server when there is none.
    void sendUnasked(const QString& text);
    void storeRecord(const QString& record);
    // A fault for tests, striking once, the next time its moment comes:
    //   late-dir MS    the answer to "DIR PASSAGGI" comes MS ms late
    //   lose-del       "DEL PASSAGGI": the file is deleted, the answer lost
    //   keep-del       "DEL PASSAGGI": the file is kept, no answer
    //   drop-listing   the link drops halfway through the listing
    //   silent         no reply from "CONSIDLE" to "OFFLINE"
    //   refuse         the listing is refused ("TYPE PASSAGGI ?*")
    //   wrong-count N  N added to the count at the end of the listing
    // False for a name not in this list.
    bool addFault(const QString& name, int value);

private:
    void accept();
    void attach(QTcpSocket* socket);
    void onReadyRead();
    void answer(const QString& message);
    void list();
    void write(const QString& text);
    void print(const QString& line);
    void storeHeld();
    bool takeFault(const QString& name, int* value = nullptr);

    QString m_address;
    qint16 m_number;
    QString m_transitFile;
    QMap<QString, int> m_faults;
    std::optional<Server> m_serverAddress;
    QTextStream& m_out;
    QTcpServer m_listener;
    quint16 m_port = 0;
    QPointer<QTcpSocket> m_link;
    FrameSplitter m_frames;
    QList<QString> m_waiting; // texts for a link still being opened
    QStringList m_held;       // records stored while locked
    bool m_locked = false;
    bool m_silent = false;
};
