#include "platform/platform.h"

#include <windows.h>

#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdlib>

namespace {

std::wstring wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), text.data(), length);
    return text;
}

Platform::FileIdentity identityFrom(const BY_HANDLE_FILE_INFORMATION& information)
{
    return {information.dwVolumeSerialNumber,
            (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

void (*g_deliver)(Platform::Request) = nullptr;
std::atomic<bool> g_stopped{false};

// Runs on a thread of the system's. For the console closing, a log-off or a
// shutdown the process ends when it returns: the server is given a few
// seconds to run its shutdown first.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (!g_deliver)
        return FALSE;
    g_deliver(Platform::Request::Stop);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int waited = 0; waited < 50 && !g_stopped; ++waited)
            Sleep(100);
    }
    return TRUE;
}

} // namespace

namespace Platform {

bool identityOf(const std::string& path, FileIdentity& identity, std::int64_t* size)
{
    const HANDLE file =
        CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    if (!known)
        return false;
    identity = identityFrom(information);
    if (size)
        *size = (std::int64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return true;
}

bool identityOf(int descriptor, FileIdentity& identity)
{
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information))
        return false;
    identity = identityFrom(information);
    return true;
}

int openForAppend(const std::string& path)
{
    const HANDLE file = CreateFileW(wide(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_APPEND);
    if (descriptor < 0)
        CloseHandle(file);
    return descriptor;
}

bool watchRequests(void (*deliver)(Request))
{
    g_deliver = deliver;
    g_stopped = false;
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

void unwatchRequests()
{
    g_stopped = true;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_deliver = nullptr;
}

// Windows does not hand out the sockets of the process: the drivers' own
// time-outs are all there is.
std::vector<Socket> connectedSockets()
{
    return {};
}

void shutDown(std::intptr_t)
{}

std::uint64_t residentMemoryBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return counters.WorkingSetSize;
}

void dieNow()
{
    TerminateProcess(GetCurrentProcess(), 137);
    std::_Exit(137);
}

} // namespace Platform
