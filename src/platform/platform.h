#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What differs between the systems the server runs on, in plain C++: the
// Windows branch builds without Qt (there is no Qt for Windows here to build
// against, only a cross compiler), and every other file stays free of it.
namespace Platform {

// A file as the file system knows it, whatever its name is now: a log moved
// or replaced under the server is told from the one it has open.
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The file at `path` (UTF-8); false when there is none. Its size when asked.
bool identityOf(const std::string& path, FileIdentity& identity, std::int64_t* size = nullptr);
// A file the process has open, by the descriptor Qt's QFile::handle() gives.
bool identityOf(int descriptor, FileIdentity& identity);
// Opens a file for appending, creating it, so that another program may
// rename or delete it while it is open; -1 on failure.
int openForAppend(const std::string& path);

// What the system or an operator asks of a running server: SIGINT, SIGTERM,
// the console closing or the machine shutting down (Stop); SIGHUP
// (Reconnect); SIGUSR1 (Retry, the failed stored transits).
enum class Request
{
    Stop,
    Reconnect,
    Retry
};
// `deliver` runs on a thread of the platform's own, never in a signal handler.
bool watchRequests(void (*deliver)(Request));
void unwatchRequests();

// The process's connected TCP sockets, for the database watchdog; none where
// the system does not say.
struct Socket
{
    std::intptr_t handle = -1;
    std::string peer; // the address it is connected to, as the system gives it
};
std::vector<Socket> connectedSockets();
void shutDown(std::intptr_t handle);

// The memory of the process that is resident in RAM, in bytes; 0 where the
// system does not say.
std::uint64_t residentMemoryBytes();

// Ends the process at once: nothing runs after it (the tests' crash points).
[[noreturn]] void dieNow();

} // namespace Platform
