#include "database/databasewatchdog.h"

#include <algorithm>

namespace {

// The same socket still: a number the system gave to another is not it.
bool contains(const std::vector<Platform::Socket>& sockets, const Platform::Socket& socket)
{
    return std::any_of(sockets.begin(), sockets.end(), [&](const Platform::Socket& s) {
        return s.handle == socket.handle && s.peer == socket.peer;
    });
}

} // namespace

// The thread starts once every member it reads is set.
DatabaseWatchdog::DatabaseWatchdog()
{
    m_thread = std::thread([this] { watch(); });
}

DatabaseWatchdog::~DatabaseWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DatabaseWatchdog::beforeOpening()
{
    const std::vector<Platform::Socket> before = Platform::connectedSockets();
    const std::lock_guard lock(m_mutex);
    m_before = before;
    m_connection.clear();
    m_opening = true;
}

void DatabaseWatchdog::opened()
{
    std::vector<Platform::Socket> connection;
    for (const Platform::Socket& socket : Platform::connectedSockets()) {
        if (!contains(m_before, socket))
            connection.push_back(socket);
    }
    const std::lock_guard lock(m_mutex);
    m_connection = connection;
    m_opening = false;
}

void DatabaseWatchdog::closed()
{
    const std::lock_guard lock(m_mutex);
    m_connection.clear();
    m_opening = false;
}

DatabaseWatchdog::Armed::Armed(DatabaseWatchdog& watchdog, int milliseconds)
    : m_watchdog(watchdog)
{
    const std::lock_guard lock(watchdog.m_mutex);
    watchdog.m_deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    watchdog.m_armed = true;
    watchdog.m_fired = false;
}

DatabaseWatchdog::Armed::~Armed()
{
    const std::lock_guard lock(m_watchdog.m_mutex);
    m_watchdog.m_armed = false;
}

bool DatabaseWatchdog::fired() const
{
    const std::lock_guard lock(m_mutex);
    return m_fired;
}

// It looks every few tens of milliseconds rather than being woken for each
// call: a transit makes many calls, and a deadline is seconds away.
void DatabaseWatchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(PollMs));
        if (m_armed && std::chrono::steady_clock::now() >= m_deadline) {
            m_armed = false;
            m_fired = true;
            cutOff();
        }
    }
}

// Under the lock: the connection's sockets (while it is being opened, every
// socket that is new since), each checked to be the same socket still.
void DatabaseWatchdog::cutOff()
{
    for (const Platform::Socket& socket : Platform::connectedSockets()) {
        const bool ours = m_opening ? !contains(m_before, socket) : contains(m_connection, socket);
        if (ours)
            Platform::shutDown(socket.handle);
    }
}
