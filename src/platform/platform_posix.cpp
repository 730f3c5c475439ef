#include "platform/platform.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

Platform::FileIdentity identityFrom(const struct stat& status)
{
    return {std::uint64_t(status.st_dev), std::uint64_t(status.st_ino)};
}

int g_pipe[2] = {-1, -1};
std::thread g_reader;
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1};

// A signal handler may only write a byte; a thread turns it into a request.
extern "C" void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

namespace Platform {

bool identityOf(const std::string& path, FileIdentity& identity, std::int64_t* size)
{
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    identity = identityFrom(status);
    if (size)
        *size = status.st_size;
    return true;
}

bool identityOf(int descriptor, FileIdentity& identity)
{
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0)
        return false;
    identity = identityFrom(status);
    return true;
}

int openForAppend(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}

bool watchRequests(void (*deliver)(Request))
{
    if (g_reader.joinable() || ::pipe2(g_pipe, O_CLOEXEC) != 0)
        return false;
    g_reader = std::thread([deliver] {
        char number = 0;
        while (::read(g_pipe[0], &number, 1) == 1 && number != 0) {
            if (number == SIGHUP)
                deliver(Request::Reconnect);
            else if (number == SIGUSR1)
                deliver(Request::Retry);
            else
                deliver(Request::Stop);
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Signals)
        ::sigaction(number, &action, nullptr);
    return true;
}

void unwatchRequests()
{
    if (!g_reader.joinable())
        return;
    for (const int number : Signals)
        ::signal(number, SIG_DFL);
    const char stop = 0;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &stop, 1);
    g_reader.join();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

std::vector<Socket> connectedSockets()
{
    std::vector<Socket> sockets;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return sockets;
    while (const dirent* entry = ::readdir(descriptors)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat status = {};
        if (*end != '\0' || end == entry->d_name || ::fstat(int(fd), &status) != 0 ||
            !S_ISSOCK(status.st_mode))
            continue;
        int type = 0;
        socklen_t length = sizeof type;
        sockaddr_storage peer = {};
        socklen_t peerLength = sizeof peer;
        if (::getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
            type != SOCK_STREAM ||
            ::getpeername(int(fd), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
            (peer.ss_family != AF_INET && peer.ss_family != AF_INET6))
            continue;
        sockets.push_back({fd, std::string(reinterpret_cast<const char*>(&peer), peerLength)});
    }
    ::closedir(descriptors);
    return sockets;
}

void shutDown(std::intptr_t handle)
{
    ::shutdown(int(handle), SHUT_RDWR);
}

std::uint64_t residentMemoryBytes()
{
    // The second field of statm: resident pages.
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    unsigned long long size = 0;
    unsigned long long resident = 0;
    const bool read = std::fscanf(statm, "%llu %llu", &size, &resident) == 2;
    std::fclose(statm);
    return read ? resident * std::uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

void dieNow()
{
    std::raise(SIGKILL);
    std::_Exit(137);
}

} // namespace Platform
