#include "platform/win32/network/process_names.h"

#include <windows.h>
#include <winsvc.h>

#include <cstdint>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

std::wstring processImageName(unsigned long pid) {
    if (pid == 0) {
        return L"";
    }
    const UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process) {
        return L"";
    }
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
        return L"";
    }
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::map<unsigned long, std::vector<std::wstring>> servicesByProcess() {
    std::map<unsigned long, std::vector<std::wstring>> services;
    const UniqueServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        return services;
    }
    // 256 KiB is the most one call hands back; the resume handle carries on from there.
    std::vector<std::uint64_t> buffer(256 * 1024 / sizeof(std::uint64_t));
    const DWORD bufferBytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    DWORD resume = 0;
    for (;;) {
        DWORD needed = 0;
        DWORD count = 0;
        const BOOL done = EnumServicesStatusExW(
            manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
            reinterpret_cast<BYTE*>(buffer.data()), bufferBytes, &needed, &count, &resume, nullptr);
        if (!done && GetLastError() != ERROR_MORE_DATA) {
            return services;
        }
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            const DWORD pid = entries[i].ServiceStatusProcess.dwProcessId;
            if (pid != 0 && entries[i].lpServiceName != nullptr) {
                services[pid].push_back(entries[i].lpServiceName);
            }
        }
        if (done || count == 0) {
            return services;
        }
    }
}

} // namespace velkora::win32
