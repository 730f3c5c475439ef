#pragma once

#include <QObject>
#include <QStringList>

class SimulatedTerminal;
class QTextStream;

// The simulator's command language, one command a line, typed or scripted:
//   read TERMINAL BADGE FUNCTION [POSITION [ORDER [HHMM [DDMMYY]]]]
//   store TERMINAL BADGE FUNCTION [POSITION [ORDER [HHMM [DDMMYY]]]]
//   generate TERMINAL COUNT [DAYS [BADGES]]   stored transits over the days
//                             before today, of the badges given (0042,0043)
//   fault TERMINAL NAME [N]   a fault striking once (SimulatedTerminal::addFault)
//   presence TERMINAL
//   send TERMINAL TEXT        (<N> stands for the character N)
//   wait MILLISECONDS
//   quit
// TERMINAL is a terminal's address or its number.
class SimulatorCommands : public QObject
{
    Q_OBJECT

public:
    SimulatorCommands(QList<SimulatedTerminal*> terminals, QTextStream& out,
                      QObject* parent = nullptr);

    // Commands run in order; a wait holds back the ones after it.
    void enqueue(const QStringList& lines);
    static QString unescape(const QString& text);

Q_SIGNALS:
    void quitRequested();

private:
    void runQueued();
    // False when the command asks to pause the queue for `pauseMs`.
    bool run(const QString& line, int& pauseMs);
    SimulatedTerminal* terminal(const QString& name) const;

    QList<SimulatedTerminal*> m_terminals;
    QTextStream& m_out;
    QStringList m_queue;
    bool m_paused = false;
};
