#include "tests/service/standins.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const wchar_t* const behaviourKey = L"SOFTWARE\\VelkoraTest\\StandIn";

// Stops a stand-in; one told not to take the stop control takes it again shortly after
// that value is gone.
void stopStandIn(win32::ScmServiceManager& services, const wchar_t* name) {
    waitUntil(
        [&] {
            const ServiceStatus status = services.query(name);
            return status.state != ServiceState::Running || status.acceptsStop;
        },
        5000);
    services.stop(name, std::chrono::seconds(20));
}

} // namespace

void setStandInBehaviour(const wchar_t* name, unsigned long value) {
    if (value == 0) {
        deleteValue(behaviourKey, name);
    } else {
        setDword(behaviourKey, name, value);
    }
}

void clearStandInBehaviour() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, behaviourKey);
}

std::wstring folderOfStandIn() {
    return L"C:\\velkora-test\\";
}

std::wstring velkoraDataFolder() {
    wchar_t folder[MAX_PATH];
    GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    return std::wstring(folder) + L"\\Velkora\\";
}

std::string lastResultLogLine() {
    std::ifstream file((velkoraDataFolder() + L"velkora-cli.log").c_str());
    std::string line, last;
    while (std::getline(file, line)) {
        last = line;
    }
    const std::size_t stamp = std::string("2026-12-07 10:01:24 ").size();
    if (!last.empty() && last.back() == '\r') {
        last.pop_back();
    }
    return last.size() > stamp ? last.substr(stamp) : "";
}

bool acceptsConnections(unsigned long port) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    closesocket(s);
    WSACleanup();
    return connected;
}

void resetStandIns(win32::ScmServiceManager& services, unsigned long port) {
    const std::chrono::seconds limit(20);
    clearStandInBehaviour();
    stopStandIn(services, standInDependent);
    stopStandIn(services, standInService);
    setListenerPort(port);
    services.start(standInService, limit);
    services.start(standInDependent, limit);
}

} // namespace velkora::test
