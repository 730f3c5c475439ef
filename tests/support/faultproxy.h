#pragma once

#include <QThread>

class FaultRelay;

// A TCP relay on 127.0.0.1 between the server and a database, in a thread
// of its own (a server blocked on the database must not block it), that
// fails on demand, as a network does.
class FaultProxy
{
public:
    enum class Fault
    {
        None,   // pass every byte
        Stall,  // take the bytes, forward none, either way
        Reset,  // reset every connection, the new ones too
        Delay,  // each chunk of bytes held for a while
        Refuse, // drop the connections and refuse new ones
    };

    explicit FaultProxy(quint16 upstreamPort);
    ~FaultProxy();

    quint16 port() const { return m_port; }
    // In effect when it returns.
    void set(Fault fault, int delayMs = 0);

private:
    QThread m_thread;
    FaultRelay* m_relay = nullptr;
    quint16 m_port = 0;
};
