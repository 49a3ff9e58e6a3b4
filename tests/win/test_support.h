#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.h"
#include "platform/win32/runtime/unique_handles.h"

#include "platform/non_copyable.h"

namespace velkora::test {

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b);

// True under Wine (its ntdll exports wine_get_version), false on Windows itself.
bool runningUnderWine();

// The id of the process that started the given one, while that one runs; 0 if not found.
DWORD parentProcessOf(DWORD processId);
// The file name of a running process's image ("explorer.exe"); empty if not found.
std::wstring processNameOf(DWORD processId);

// The folder of the test executable; the recorder is built next to it.
std::wstring testFolder();
std::wstring recorderPath();

// One run of the recorder program (tools/standins/recorder.cpp).
struct Record {
    std::wstring arguments;
    std::wstring commandLine;
    std::wstring currentDirectory;
    std::wstring modulePath;
    unsigned long processId = 0;
    unsigned long startupFlags = 0;
    unsigned long showWindow = 0;
    std::wstring programFolder;
    std::wstring uiLanguage;
};

// A new folder in the temp folder, removed with its files when it goes.
class TempFolder : NonCopyable {
public:
    explicit TempFolder(const std::wstring& nameHint = L"velkora");
    ~TempFolder();
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// The folder "records" next to the recorder, emptied, and named to it through the environment
// as well (children inherit it); a recorder started by the desktop's shell, without this
// environment, finds the folder next to itself. Removed when it goes.
class RecordFolder : NonCopyable {
public:
    RecordFolder();
    ~RecordFolder();

    std::vector<Record> read() const;
    // Every file the recorder wrote, one after the other.
    std::wstring rawText() const;
    // Polls until at least `count` records are there or the time is up.
    std::vector<Record> waitFor(std::size_t count,
                                std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    std::vector<std::wstring> recordFiles() const;
    void deleteRecords() const;

    std::wstring path_;
};

// A key of our own under HKCU\Software\VelkoraTest, deleted with everything in it.
class ThrowawayKey : NonCopyable {
public:
    ThrowawayKey();
    ~ThrowawayKey();

    const std::wstring& subKey() const { return subKey_; }
    // The path as the registry service takes it: "HKEY_CURRENT_USER\<subkey>\<rest>".
    std::wstring path(const std::wstring& rest) const;

private:
    std::wstring subKey_;
};

// Sets a key's DACL from SDDL text; raises on failure.
void setKeyDacl(HKEY root, const std::wstring& subKey, const std::wstring& sddl);

// A value as stored, read with the registry API (64-bit view); nothing when absent.
struct RawValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
    bool operator==(const RawValue&) const = default;
};
std::optional<RawValue> readRawValue(HKEY root, const std::wstring& subKey,
                                     const std::wstring& name);
void writeRawValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type,
                   const std::vector<BYTE>& bytes);
bool keyExists(HKEY root, const std::wstring& subKey);
void createKey(HKEY root, const std::wstring& subKey);
// The names of a key's values, as RegEnumValueW gives them.
std::vector<std::wstring> valueNames(HKEY root, const std::wstring& subKey);
void deleteKeyTree(HKEY root, const std::wstring& subKey);

// The bytes of a text with its terminating NUL, as REG_SZ stores it.
std::vector<BYTE> bytesOf(const std::wstring& text);
std::vector<BYTE> bytesOf(DWORD number);

} // namespace velkora::test
