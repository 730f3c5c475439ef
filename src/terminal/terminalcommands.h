#pragma once

#include <QObject>
#include <QString>

class EventWait;
class NetworkControl;
class TerminalRegistry;

// Every text the server writes to a terminal goes through send(); the five
// file commands drive a terminal's transit file PASSAGGI.
class TerminalCommands : public QObject
{
    Q_OBJECT

public:
    TerminalCommands(TerminalRegistry& registry, NetworkControl& control, const EventWait& wait,
                     QObject* parent = nullptr);

    // Comando, LenComando, SendText, EsitoInvio, then InvioMessaggio.
    void send(qint16 NumTer, const QString& IPTer, const QString& text);

    void CercaFile(qint16 NumTer, const QString& IPTer); // "DIR PASSAGGI"
    void Blocca(qint16 NumTer, const QString& IPTer);    // "CONSIDLE"
    void Scarico(qint16 NumTer, const QString& IPTer);   // "TYPE PASSAGGI"
    // "DEL PASSAGGI", one second later, still to the terminal of the call.
    void Cancella(qint16 NumTer, const QString& IPTer);
    void Sblocca(qint16 NumTer, const QString& IPTer); // "OFFLINE"

    // The hook after every send; a failed send is neither retried nor
    // reported, and its result stays readable in EsitoInvio.
    void InvioMessaggio(qint16 Ret);

private:
    void sendCommand(qint16 NumTer, const QString& IPTer, const QString& command);

    TerminalRegistry& m_registry;
    NetworkControl& m_control;
    const EventWait& m_wait;
};
