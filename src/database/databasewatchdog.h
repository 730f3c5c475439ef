#pragma once

#include "platform/platform.h"

#include <condition_variable>
#include <mutex>
#include <thread>

// Keeps the one thread from waiting on the database past a deadline,
// whatever the far end does: a call into the driver is armed with its
// time-out, and past it a thread of the watchdog's own shuts the
// connection's sockets down, so the blocked call returns with an error.
// (A server that stopped answering still has its kernel acknowledge our
// bytes, so neither TCP keep-alive nor a server-side time-out would fire.)
// The sockets are those the driver opened for the connection: the TCP
// sockets of the process that are new after the connection was opened.
class DatabaseWatchdog
{
public:
    static constexpr int PollMs = 50;

    DatabaseWatchdog();
    ~DatabaseWatchdog();
    DatabaseWatchdog(const DatabaseWatchdog&) = delete;
    DatabaseWatchdog& operator=(const DatabaseWatchdog&) = delete;

    // Before a connection is opened: what exists already is not the driver's.
    void beforeOpening();
    // After: the new sockets are the connection's.
    void opened();
    void closed();

    // While an Armed lives, the call it guards may take `milliseconds`.
    class Armed
    {
    public:
        explicit Armed(DatabaseWatchdog& watchdog, int milliseconds);
        ~Armed();
        Armed(const Armed&) = delete;
        Armed& operator=(const Armed&) = delete;

    private:
        DatabaseWatchdog& m_watchdog;
    };
    // Whether the last armed call was cut off (reset when the next is armed).
    bool fired() const;

private:
    void watch();
    void cutOff();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    std::vector<Platform::Socket> m_before;     // sockets that existed before the connection
    std::vector<Platform::Socket> m_connection; // empty while a connection is being opened
    bool m_opening = false;
    bool m_armed = false;
    bool m_fired = false;
    bool m_stopping = false;
    std::chrono::steady_clock::time_point m_deadline;
};
