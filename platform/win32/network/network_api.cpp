#include "platform/win32/network/network_api.h"

#include "platform/win32/runtime/system_libraries.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

template <typename Function>
void bindProcedure(Function& target, HMODULE module, const char* name) {
    target =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(systemProcedure(module, name)));
}

NetworkApi loadNetworkApi() {
    const HMODULE winsock = loadSystemLibrary(L"ws2_32.dll");
    const HMODULE ipHelper = loadSystemLibrary(L"iphlpapi.dll");
    NetworkApi api{};
    bindProcedure(api.startup, winsock, "WSAStartup");
    bindProcedure(api.cleanup, winsock, "WSACleanup");
    bindProcedure(api.lastError, winsock, "WSAGetLastError");
    bindProcedure(api.openSocket, winsock, "socket");
    bindProcedure(api.setOption, winsock, "setsockopt");
    bindProcedure(api.bindSocket, winsock, "bind");
    bindProcedure(api.closeSocket, winsock, "closesocket");
    bindProcedure(api.tcpTable, ipHelper, "GetExtendedTcpTable");
    bindProcedure(api.udpTable, ipHelper, "GetExtendedUdpTable");
    return api;
}

} // namespace

const NetworkApi& networkApi() {
    static const NetworkApi api = loadNetworkApi();
    return api;
}

WinsockSession::WinsockSession() {
    WSADATA data{};
    const int status = networkApi().startup(MAKEWORD(2, 2), &data);
    if (status != 0) {
        throwWin32(static_cast<DWORD>(status), L"WSAStartup");
    }
}

WinsockSession::~WinsockSession() {
    networkApi().cleanup();
}

UniqueSocket::~UniqueSocket() {
    if (socket_ != INVALID_SOCKET) {
        networkApi().closeSocket(socket_);
    }
}

} // namespace velkora::win32
