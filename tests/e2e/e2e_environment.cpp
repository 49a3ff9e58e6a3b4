#include "tests/e2e/e2e_environment.h"

#include <algorithm>

#include "tests/common/test_helpers.h"

namespace velkora::test {

HeldPortChangeLock::HeldPortChangeLock() {
    lock_.acquire();
    held_ = true;
}

HeldPortChangeLock::~HeldPortChangeLock() {
    release();
}

void HeldPortChangeLock::release() {
    if (held_) {
        lock_.release();
        held_ = false;
    }
}

namespace {

std::optional<std::wstring> environmentVariable(const std::wstring& name) {
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name.c_str(), value.data(), size));
    return value;
}

std::vector<std::wstring> filesMatching(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// One field of every record the stand-in wrote (see tools/standins/recorder.cpp).
std::vector<std::wstring> recordedField(const std::wstring& program, size_t field) {
    std::vector<std::wstring> values;
    for (const std::wstring& name : filesMatching(recordsFolder() + L"\\" + program + L"-*.rec")) {
        const std::string bytes = fileText(recordsFolder() + L"\\" + name);
        std::wstring line(bytes.size() / sizeof(wchar_t), L'\0');
        memcpy(line.data(), bytes.data(), line.size() * sizeof(wchar_t));
        for (size_t i = 0; i < field; ++i) {
            line.erase(0, line.find(L'\t') + 1);
        }
        values.push_back(line.substr(0, line.find_first_of(L"\t\n")));
    }
    return values;
}

} // namespace

std::wstring velkoraExe() {
    return driverFolder() + L"\\velkora.exe";
}

std::wstring recordsFolder() {
    return driverFolder() + L"\\records";
}

std::wstring screenshotsFolder() {
    return driverFolder() + L"\\e2e-screenshots";
}

std::vector<std::wstring> recordedCalls(const std::wstring& program) {
    return recordedField(program, 0);
}

std::vector<std::wstring> recordedLanguages(const std::wstring& program) {
    return recordedField(program, 8);
}

void clearRecords() {
    CreateDirectoryW(recordsFolder().c_str(), nullptr);
    for (const std::wstring& name : filesMatching(recordsFolder() + L"\\*.*")) {
        if (name != L"." && name != L"..") {
            DeleteFileW((recordsFolder() + L"\\" + name).c_str());
        }
    }
}

std::vector<std::wstring> waitForRecordedCalls(const std::wstring& program, size_t count,
                                               DWORD timeoutMs) {
    std::vector<std::wstring> calls;
    waitUntil([&] { return (calls = recordedCalls(program)).size() >= count; }, timeoutMs);
    return calls;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::wstring name, const std::wstring& value)
    : name_(std::move(name)), previous_(environmentVariable(name_)) {
    SetEnvironmentVariableW(name_.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    SetEnvironmentVariableW(name_.c_str(), previous_ ? previous_->c_str() : nullptr);
}

} // namespace velkora::test
