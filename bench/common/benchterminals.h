#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>

#include <deque>
#include <memory>

class QTcpServer;
class QTcpSocket;

// Terminals the benchmark plays itself, so the time from a record sent to its
// confirmation read is measured without a simulator process in between. Each
// listens on its own address (127.0.0.11, .12, ...) for the server's link,
// answers "DIR PASSAGGI" with no file, and counts the display texts back.
class BenchTerminals : public QObject
{
    Q_OBJECT

public:
    BenchTerminals(int count, int firstNumber);
    ~BenchTerminals() override;

    QList<QStringList> table() const;
    int linksUp() const;
    // Sends a live read; its latency runs until the next display text.
    void send(int index, const QString& record);
    qsizetype waiting(int index) const;

    QList<double> latenciesMs() const { return m_latencies; }
    int confirmed() const { return m_confirmed; }
    int refused() const { return m_refused; }
    void clearFigures();

Q_SIGNALS:
    void answered(int index);

private:
    struct Terminal
    {
        int number = 0;
        QString address;
        QTcpServer* listener = nullptr;
        QTcpSocket* link = nullptr;
        QByteArray partial;
        std::deque<qint64> sentAt; // ns on m_clock
    };
    void readFrom(Terminal& terminal, int index);

    std::vector<std::unique_ptr<Terminal>> m_terminals;
    QElapsedTimer m_clock;
    QList<double> m_latencies;
    int m_confirmed = 0;
    int m_refused = 0;
};
