// A stand-in for the Remote Desktop service and for a service that depends on it, for the
// tests only. Run as TermService it listens on the listener's configured TCP port, as the
// real one does after a start; under any other name it just runs until stopped.
// Test-only values under HKLM\SOFTWARE\VelkoraTest\StandIn change how it behaves:
//   RefusePort (DWORD)  starts, but does not listen when the configured port is this one
//   FailStart  (DWORD)  non-zero: reports a failed start
//   NoStop     (DWORD)  non-zero: does not accept the stop control (until it is removed)
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "tests/common/registry_values.h"

namespace {

const wchar_t* const listenerServiceName = L"TermService";
const wchar_t* const behaviourKey = L"SOFTWARE\\VelkoraTest\\StandIn";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{}; // written by the service's thread and by the control handler
CRITICAL_SECTION statusLock;
HANDLE stopEvent = nullptr;

class StatusLock {
public:
    StatusLock() { EnterCriticalSection(&statusLock); }
    ~StatusLock() { LeaveCriticalSection(&statusLock); }
    StatusLock(const StatusLock&) = delete;
    StatusLock& operator=(const StatusLock&) = delete;
};

DWORD readDword(const wchar_t* key, const wchar_t* name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return fallback;
    }
    return value;
}

// Like Remote Desktop, it listens on the RDP-Tcp value, falling back to the Tds value.
DWORD configuredPort() {
    using velkora::test::listenerRdpTcpKey, velkora::test::listenerTdsKey;
    return readDword(listenerRdpTcpKey, L"PortNumber", readDword(listenerTdsKey, L"PortNumber", 0));
}

// Appends "start NAME" or "stop NAME" to events.log next to the program, for the order.
void recordEvent(const std::wstring& event) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, length);
    file = file.substr(0, file.rfind(L'\\') + 1) + L"events.log";
    HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string line(event.begin(), event.end()); // service names are ASCII
    DWORD written = 0;
    WriteFile(h, (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written, nullptr);
    CloseHandle(h);
}

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    const StatusLock lock;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    status.dwControlsAccepted = 0;
    if (state == SERVICE_RUNNING && readDword(behaviourKey, L"NoStop", 0) == 0) {
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    }
    status.dwWaitHint =
        (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ? 3000 : 0;
    status.dwCheckPoint = status.dwWaitHint != 0 ? status.dwCheckPoint + 1 : 0;
    SetServiceStatus(statusHandle, &status);
}

// Takes the stop control again once NoStop is removed: only while running, never once a
// stop has been reported pending (the manager would see RUNNING again in the middle of it).
void acceptStopOnceAllowed() {
    const StatusLock lock; // re-entered by report()
    if (status.dwCurrentState == SERVICE_RUNNING && status.dwControlsAccepted == 0 &&
        readDword(behaviourKey, L"NoStop", 0) == 0) {
        report(SERVICE_RUNNING);
    }
}

DWORD WINAPI onControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// A socket listening on the port on every IPv4 address, or INVALID_SOCKET.
SOCKET listenOn(DWORD port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, SOMAXCONN) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

void WINAPI serviceMain(DWORD argc, wchar_t** argv) {
    const std::wstring name = argc > 0 ? argv[0] : L"";
    statusHandle = RegisterServiceCtrlHandlerExW(name.c_str(), onControl, nullptr);
    if (statusHandle == nullptr) {
        return;
    }
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    report(SERVICE_START_PENDING);
    if (readDword(behaviourKey, L"FailStart", 0) != 0) {
        report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
        return;
    }

    SOCKET listener = INVALID_SOCKET;
    if (name == listenerServiceName) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        const DWORD port = configuredPort();
        if (port != 0 && port != readDword(behaviourKey, L"RefusePort", 0)) {
            listener = listenOn(port);
        }
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    recordEvent(L"start " + name);
    report(SERVICE_RUNNING);
    while (WaitForSingleObject(stopEvent, 200) == WAIT_TIMEOUT) {
        acceptStopOnceAllowed(); // so that tests can stop it
    }
    recordEvent(L"stop " + name);
    if (listener != INVALID_SOCKET) {
        closesocket(listener);
    }
    report(SERVICE_STOPPED);
}

} // namespace

int wmain() {
    InitializeCriticalSection(&statusLock);
    wchar_t anyName[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{anyName, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
