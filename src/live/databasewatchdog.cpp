#include "live/databasewatchdog.h"

#include <QDir>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace {

bool contains(const QList<DatabaseWatchdog::Socket>& sockets,
              const DatabaseWatchdog::Socket& socket)
{
    return std::any_of(sockets.begin(), sockets.end(), [&](const DatabaseWatchdog::Socket& s) {
        return s.descriptor == socket.descriptor && s.peer == socket.peer;
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

QList<DatabaseWatchdog::Socket> DatabaseWatchdog::openSockets()
{
    QList<Socket> sockets;
#ifdef Q_OS_UNIX
    const QStringList descriptors =
        QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : descriptors) {
        const int fd = name.toInt();
        struct stat status = {};
        if (::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode))
            continue;
        int type = 0;
        socklen_t length = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
            continue;
        sockaddr_storage peer = {};
        socklen_t peerLength = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
            (peer.ss_family != AF_INET && peer.ss_family != AF_INET6))
            continue;
        sockets.append({fd, QByteArray(reinterpret_cast<const char*>(&peer), peerLength)});
    }
#endif
    return sockets;
}

void DatabaseWatchdog::beforeOpening()
{
    const QList<Socket> before = openSockets();
    const std::lock_guard lock(m_mutex);
    m_before = before;
    m_connection.clear();
    m_opening = true;
}

void DatabaseWatchdog::opened()
{
    QList<Socket> connection;
    for (const Socket& socket : openSockets()) {
        if (!contains(m_before, socket))
            connection.append(socket);
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
#ifdef Q_OS_UNIX
    for (const Socket& socket : openSockets()) {
        const bool ours = m_opening ? !contains(m_before, socket) : contains(m_connection, socket);
        if (ours)
            ::shutdown(socket.descriptor, SHUT_RDWR);
    }
#endif
}
