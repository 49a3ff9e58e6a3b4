#include "tests/win/test_support.h"

#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/win32/runtime/program_paths.h"

namespace velkora::test {
namespace {

const wchar_t* const testKeyParent = L"Software\\VelkoraTest";

void check(LSTATUS status, const char* what) {
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
    }
}

std::wstring tempFolderPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, length);
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

std::wstring uniqueName(const std::wstring& hint) {
    static LONG counter = 0;
    return hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
}

unsigned long toNumber(const std::wstring& text) {
    return text.empty() ? 0 : std::stoul(text);
}

} // namespace

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

namespace {

std::optional<PROCESSENTRY32W> processEntry(DWORD processId) {
    win32::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == processId) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace

DWORD parentProcessOf(DWORD processId) {
    const auto entry = processEntry(processId);
    return entry ? entry->th32ParentProcessID : 0;
}

std::wstring processNameOf(DWORD processId) {
    const auto entry = processEntry(processId);
    return entry ? std::wstring(entry->szExeFile) : std::wstring();
}

std::wstring testFolder() {
    return win32::ModuleProgramFolder().programFolder();
}

std::wstring recorderPath() {
    return testFolder() + L"\\velkora_recorder.exe";
}

RecordFolder::RecordFolder() : path_(testFolder() + L"\\records") {
    CreateDirectoryW(path_.c_str(), nullptr);
    deleteRecords(); // a run that was cut short may have left some
    SetEnvironmentVariableW(L"VELKORA_RECORDS", path_.c_str());
}

RecordFolder::~RecordFolder() {
    SetEnvironmentVariableW(L"VELKORA_RECORDS", nullptr);
    deleteRecords();
    RemoveDirectoryW(path_.c_str());
}

std::vector<std::wstring> RecordFolder::recordFiles() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((path_ + L"\\*.rec").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        files.push_back(path_ + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

void RecordFolder::deleteRecords() const {
    for (const std::wstring& file : recordFiles()) {
        DeleteFileW(file.c_str());
    }
}

std::wstring RecordFolder::rawText() const {
    std::wstring text;
    for (const std::wstring& path : recordFiles()) {
        win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        wchar_t buffer[2048];
        DWORD got = 0;
        while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            text.append(buffer, got / sizeof(wchar_t));
        }
    }
    return text;
}

std::vector<Record> RecordFolder::read() const {
    std::vector<Record> records;
    std::wistringstream lines(rawText());
    std::wstring line;
    while (std::getline(lines, line)) {
        std::vector<std::wstring> fields;
        std::wistringstream parts(line);
        std::wstring field;
        while (std::getline(parts, field, L'\t')) {
            fields.push_back(field);
        }
        if (fields.size() != 9) {
            continue; // a marker
        }
        records.push_back(Record{fields[0], fields[1], fields[2], fields[3], toNumber(fields[4]),
                                 toNumber(fields[5]), toNumber(fields[6]), fields[7], fields[8]});
    }
    return records;
}

std::vector<Record> RecordFolder::waitFor(std::size_t count,
                                          std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::vector<Record> records = read();
        if (records.size() >= count || std::chrono::steady_clock::now() > deadline) {
            return records;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TempFolder::TempFolder(const std::wstring& nameHint)
    : path_(tempFolderPath() + L"\\" + uniqueName(nameHint)) {
    if (!CreateDirectoryW(path_.c_str(), nullptr)) {
        throw std::runtime_error("cannot make a temp folder");
    }
}

TempFolder::~TempFolder() {
    // SHFileOperation wants a double-NUL-terminated list.
    std::wstring from = path_;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

ThrowawayKey::ThrowawayKey() : subKey_(std::wstring(testKeyParent) + L"\\" + uniqueName(L"key")) {
    win32::UniqueHkey key;
    check(RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
          "RegCreateKeyExW");
}

ThrowawayKey::~ThrowawayKey() {
    deleteKeyTree(HKEY_CURRENT_USER, subKey_);
    RegDeleteKeyExW(HKEY_CURRENT_USER, testKeyParent, KEY_WOW64_64KEY, 0);
}

std::wstring ThrowawayKey::path(const std::wstring& rest) const {
    return L"HKEY_CURRENT_USER\\" + subKey_ + L"\\" + rest;
}

void setKeyDacl(HKEY root, const std::wstring& subKey, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        throw std::runtime_error("bad SDDL");
    }
    win32::UniqueLocalMemory owner(descriptor);
    win32::UniqueHkey key;
    check(RegOpenKeyExW(root, subKey.c_str(), 0, WRITE_DAC | KEY_WOW64_64KEY, key.put()),
          "RegOpenKeyExW(WRITE_DAC)");
    check(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor), "RegSetKeySecurity");
}

std::optional<RawValue> readRawValue(HKEY root, const std::wstring& subKey,
                                     const std::wstring& name) {
    win32::UniqueHkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    RawValue value{type, std::vector<BYTE>(size)};
    check(RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           value.bytes.empty() ? nullptr : value.bytes.data(), &size),
          "RegQueryValueExW");
    value.bytes.resize(size);
    return value;
}

void writeRawValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type,
                   const std::vector<BYTE>& bytes) {
    win32::UniqueHkey key;
    check(RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          nullptr, key.put(), nullptr),
          "RegCreateKeyExW");
    check(RegSetValueExW(key.get(), name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                         static_cast<DWORD>(bytes.size())),
          "RegSetValueExW");
}

bool keyExists(HKEY root, const std::wstring& subKey) {
    win32::UniqueHkey key;
    return RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

void createKey(HKEY root, const std::wstring& subKey) {
    win32::UniqueHkey key;
    check(RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                          nullptr, key.put(), nullptr),
          "RegCreateKeyExW");
}

std::vector<std::wstring> valueNames(HKEY root, const std::wstring& subKey) {
    std::vector<std::wstring> names;
    win32::UniqueHkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

void deleteKeyTree(HKEY root, const std::wstring& subKey) {
    if (!keyExists(root, subKey)) {
        return;
    }
    // A test may have left a refusing DACL behind; put a plain one first.
    try {
        setKeyDacl(root, subKey, L"D:(A;;KA;;;WD)");
    } catch (const std::exception&) {
    }
    win32::UniqueHkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.put()) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(key.get(), nullptr);
        key.reset();
    }
    RegDeleteKeyExW(root, subKey.c_str(), KEY_WOW64_64KEY, 0);
}

std::vector<BYTE> bytesOf(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> bytesOf(DWORD number) {
    const auto* begin = reinterpret_cast<const BYTE*>(&number);
    return std::vector<BYTE>(begin, begin + sizeof number);
}

} // namespace velkora::test
