#pragma once

#include "terminal/terminaltable.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <optional>

// The server's one model of its terminals and of the exchange under way: the
// terminal table, the port list (the operator's view of the connections and
// the work queue of the download scheduler), the registers of the terminal
// addressed last and of the message being handled, and the download-pass
// state. Procedures read and write the registers directly, as the terminal
// protocol is written in terms of them.
class TerminalRegistry : public QObject
{
    Q_OBJECT

public:
    struct PortEntry
    {
        qint16 number = 0;
        QString address;
    };

    using QObject::QObject;

    // "[Num: N - IP: address] Connesso" followed by CR LF.
    static QString portEntryText(qint64 number, const QString& address);
    // Number = Trim(Mid(entry, 7, 2)); address = Trim(Mid(entry, 15, p - 15)),
    // p the position of the first "]".
    static PortEntry readPortEntry(const QString& entry);

    const QStringList& Lst_Port() const { return m_ports; }
    void addPort(qint64 number, const QString& address);
    void clearPorts();

    // The number of the first active slot whose address is `address`.
    std::optional<qint64> numberOf(const QString& address) const;

    TerminalTable table;

    // Addressed terminal: written by every send and by Collega.
    QString IPCorrente;
    qint64 NumCorrente = 0;
    QString Comando;
    qint32 LenComando = 0;
    qint16 EsitoInvio = 0;
    qint16 Canale = 0;
    QString ModoApertura;

    // Received message or transit being handled.
    QString IPRicevuto;
    qint64 NumRicevuto = 0;
    QString RecordTransito;
    QString CodiceFunzione;
    qint16 BadgeErrato = 0;

    // Download pass and transfer.
    qint16 TermGiro = 0;
    qint16 TermRisposta = 0;
    bool GiroInCorso = false;
    bool InScarico = false;
    qint64 TermInScarico = 0;
    qint64 RecordAttesi = 0;
    qint16 RecordRicevuti = 0;
    std::array<qint64, TerminalTable::SlotCount> ContaRecord{};
    qint16 IndicePorta = 0;

    qint16 ContaCollega = 0;

Q_SIGNALS:
    void portAdded(const QString& entry);
    void portsCleared();

private:
    QStringList m_ports;
};
