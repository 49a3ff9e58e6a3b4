#include "platform/win32/audit/event_log_audit_log.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <optional>

#include "platform/error_record.h"
#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

using UniqueEventSource = Unique<HANDLE, &::DeregisterEventSource>;

constexpr wchar_t sourceName[] = L"Velkora";
constexpr DWORD typesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

std::vector<unsigned char> tokenUserSid() {
    UniqueKernelHandle token;
    checked(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()), L"OpenProcessToken");
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        throwLastError(L"GetTokenInformation");
    }
    std::vector<unsigned char> buffer(size);
    checked(GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size),
            L"GetTokenInformation");
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return {bytes, bytes + GetLengthSid(sid)};
}

std::wstring sidText(PSID sid) {
    wchar_t* text = nullptr;
    checked(ConvertSidToStringSidW(sid, &text), L"ConvertSidToStringSidW");
    const UniqueLocalMemory owner(text);
    return text;
}

// "DOMAIN\name"; empty where the SID has no name here (a deleted account, a domain that does
// not answer): the SID says who it was all the same.
std::wstring accountName(PSID sid) {
    DWORD nameLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::wstring name(nameLength, L'\0');
    std::wstring domain(domainLength, L'\0');
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength,
                           &use)) {
        return {};
    }
    name.resize(nameLength);
    domain.resize(domainLength);
    return domain.empty() ? name : domain + L"\\" + name;
}

// The source's message files as registered, variables expanded; nothing when the source or
// its value is missing or unreadable.
std::optional<std::wstring> registeredMessageFiles() {
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, eventSourceKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        // RRF_RT_REG_SZ takes a REG_EXPAND_SZ too, expanded (asking for that type as well
        // is refused: it is only for a value read without expanding).
        const LSTATUS status = RegGetValueW(key.get(), nullptr, L"EventMessageFile", RRF_RT_REG_SZ,
                                            nullptr, text.data(), &size);
        if (status == ERROR_MORE_DATA) {
            text.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        text.resize(wcsnlen(text.c_str(), text.size()));
        return text;
    }
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Every file of the list (separated by semicolons) exists, and there is at least one.
bool allFilesExist(const std::wstring& files) {
    std::size_t start = 0;
    bool any = false;
    while (start <= files.size()) {
        const std::size_t end = std::min(files.find(L';', start), files.size());
        const std::wstring file = files.substr(start, end - start);
        if (!file.empty()) {
            if (!fileExists(file)) {
                return false;
            }
            any = true;
        }
        start = end + 1;
    }
    return any;
}

void writeEventSource(const std::wstring& messageFile) {
    const std::wstring keyText = std::wstring(L"HKEY_LOCAL_MACHINE\\") + eventSourceKey;
    UniqueHkey key;
    checkWin32(RegCreateKeyExW(HKEY_LOCAL_MACHINE, eventSourceKey, 0, nullptr, 0,
                               KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
               L"RegCreateKeyExW", keyText);
    checkWin32(RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(messageFile.c_str()),
                              static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t))),
               L"RegSetValueExW", keyText + L"\\EventMessageFile");
    checkWin32(RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&typesSupported),
                              sizeof typesSupported),
               L"RegSetValueExW", keyText + L"\\TypesSupported");
}

void registerEventSource() {
    const std::optional<std::wstring> files = registeredMessageFiles();
    if (!files || !allFilesExist(*files)) {
        writeEventSource(executablePath());
    }
}

WORD eventType(AuditLevel level) {
    switch (level) {
    case AuditLevel::Error:
        return EVENTLOG_ERROR_TYPE;
    case AuditLevel::Warning:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

} // namespace

const std::vector<unsigned char>& EventLogAuditLog::userSid() {
    if (userSid_.empty()) {
        userSid_ = tokenUserSid();
    }
    return userSid_;
}

AuditAccount EventLogAuditLog::account() {
    const PSID sid = const_cast<unsigned char*>(userSid().data());
    return {accountName(sid), sidText(sid)};
}

void EventLogAuditLog::report(const AuditEntry& entry) {
    std::optional<PlatformError> notRegistered;
    if (!sourceRegistered_) {
        try {
            registerEventSource();
            sourceRegistered_ = true;
        } catch (const PlatformError& error) {
            notRegistered = PlatformError(error.number(),
                                          L"事件已写入应用程序日志，但未能注册事件来源 Velkora，"
                                          L"事件查看器无法显示事件的文字：" +
                                              error.description(),
                                          false, error.call());
        }
    }
    // An event without its user rather than none.
    PSID sid = nullptr;
    try {
        sid = const_cast<unsigned char*>(userSid().data());
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
    }
    std::vector<const wchar_t*> strings;
    for (const std::wstring& text : entry.strings) {
        strings.push_back(text.c_str());
    }
    const UniqueEventSource source(
        checked(RegisterEventSourceW(nullptr, sourceName), L"RegisterEventSourceW", sourceName));
    checked(ReportEventW(source.get(), eventType(entry.level), 0, entry.eventId, sid,
                         static_cast<WORD>(strings.size()), 0,
                         strings.empty() ? nullptr : strings.data(), nullptr),
            L"ReportEventW", sourceName);
    if (notRegistered) {
        throw *notRegistered;
    }
}

} // namespace velkora::win32
