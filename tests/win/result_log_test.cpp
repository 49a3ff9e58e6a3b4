#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform_error.h"
#include "platform/win32/change/change_journal_file.h"
#include "platform/win32/change/result_log.h"
#include "platform/win32/runtime/security_descriptor.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

std::wstring commonAppData() {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

const std::wstring logFolder = commonAppData() + L"\\Velkora";
const std::wstring logPath = logFolder + L"\\velkora-cli.log";

std::string contentOf(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A user may point ProgramData anywhere for themselves; the elevated run logs where the
// system keeps it all the same.
TEST(ProgramDataResultLog, IgnoresTheProgramDataVariable) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring planted = std::wstring(temp) + L"velkora-planted";
    DeleteFileW(logPath.c_str());
    SetEnvironmentVariableW(L"ProgramData", planted.c_str());
    win32::ProgramDataResultLog().append(L"甲 done");
    SetEnvironmentVariableW(L"ProgramData", commonAppData().c_str());
    const std::string text = contentOf(logPath);
    EXPECT_EQ(text.substr(std::string("2026-12-07 10:01:24").size()), " \xE7\x94\xB2 done\r\n");
    EXPECT_EQ(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A log planted as a hard link to another file is not appended to.
TEST(ProgramDataResultLog, RefusesALogThatIsAHardLink) {
    win32::ProgramDataResultLog().append(L"folder made");
    const std::wstring target = commonAppData() + L"\\velkora-link-target.txt";
    {
        std::ofstream file(target.c_str(), std::ios::binary);
        file << "untouched\r\n";
    }
    DeleteFileW(logPath.c_str());
    ASSERT_TRUE(CreateHardLinkW(logPath.c_str(), target.c_str(), nullptr));
    try {
        win32::ProgramDataResultLog().append(L"should not land");
        ADD_FAILURE() << "appended through a hard link";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), ERROR_CANT_ACCESS_FILE);
        EXPECT_EQ(error.description(), L"日志文件 " + logPath + L" 是一个链接，已跳过日志。");
    }
    EXPECT_EQ(contentOf(target), "untouched\r\n");
    DeleteFileW(logPath.c_str());
    DeleteFileW(target.c_str());
}

// The DACL of a file or folder as SDDL text.
std::wstring daclOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const win32::UniqueLocalMemory descriptorOwner(descriptor);
    LPWSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    const win32::UniqueLocalMemory textOwner(text);
    return text != nullptr ? text : L"<none>";
}

void setDacl(const std::wstring& path, const wchar_t* sddl) {
    const win32::UniqueLocalMemory descriptor = win32::securityDescriptorFrom(sddl);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    const DWORD protection =
        (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : 0;
    ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | protection, nullptr, nullptr, dacl,
                                    nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
}

// A folder left with a DACL that lets every user create files (as one inheriting from
// ProgramData does) gets the log's protected one back: full access for SYSTEM and the
// administrators, read for users, nothing inherited.
TEST(ProgramDataResultLog, PutsItsProtectedDaclBackOnItsFolder) {
    const TempFolder reference(L"velkora-protected");
    setDacl(reference.path(), L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)");
    win32::ProgramDataResultLog().append(L"folder made");
    setDacl(logFolder, L"D:(A;OICI;FA;;;WD)");
    ASSERT_NE(daclOf(logFolder), daclOf(reference.path())) << "the open DACL did not take";
    win32::ProgramDataResultLog().append(L"folder protected again");
    EXPECT_EQ(daclOf(logFolder), daclOf(reference.path()));
}

bool ownedByAnonymous(const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const win32::UniqueLocalMemory descriptorOwner(descriptor);
    return IsWellKnownSid(owner, WinAnonymousSid);
}

// Gives a file to another Unix user, which Wine shows as owned by ANONYMOUS LOGON: the only
// way under Wine to have a file another account made. Needs root; false when it did not take.
// Wine cannot wait for a Unix process, so the owner is watched instead.
bool giveToAnotherUser(const std::wstring& folder, const std::wstring& name) {
    std::wstring commandLine = L"/bin/chown 65534 " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!ownedByAnonymous(folder + L"\\" + name) && GetTickCount64() < deadline) {
        Sleep(50);
    }
    return ownedByAnonymous(folder + L"\\" + name);
}

// A log another account made first, to forge or erase lines in, is not appended to.
TEST(ProgramDataResultLog, RefusesALogOwnedByAnotherAccount) {
    win32::ProgramDataResultLog().append(L"folder made");
    {
        std::ofstream file(logPath.c_str(), std::ios::binary | std::ios::trunc);
        file << "forged\r\n";
    }
    if (!giveToAnotherUser(logFolder, L"velkora-cli.log")) {
        DeleteFileW(logPath.c_str());
        GTEST_SKIP() << "the log could not be given to another Unix user (chown needs root)";
    }
    try {
        win32::ProgramDataResultLog().append(L"should not land");
        ADD_FAILURE() << "appended to another account's log";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), ERROR_INVALID_OWNER);
        EXPECT_EQ(error.description(),
                  L"日志文件 " + logPath + L" 的所有者不是 SYSTEM 或管理员组，已跳过日志。");
    }
    EXPECT_EQ(contentOf(logPath), "forged\r\n");
    DeleteFileW(logPath.c_str());
}

// The journal of a change that waits: replaced whole, read as written, gone when removed; one
// another account planted is refused, never read as a change to put back.
TEST(ChangeJournalFile, IsReplacedWholeAndRefusedWhenPlanted) {
    const std::wstring journalPath = logFolder + L"\\pending-change.json";
    win32::ChangeJournalFile journal;
    journal.remove();
    EXPECT_EQ(journal.read(), std::nullopt);
    journal.write("{\"first\": 1}\r\n");
    journal.write("{\"second\": 2}\r\n");
    EXPECT_EQ(journal.read(), std::optional<std::string>("{\"second\": 2}\r\n"));
    EXPECT_EQ(GetFileAttributesW((journalPath + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    journal.remove();
    journal.remove();
    EXPECT_EQ(journal.read(), std::nullopt);

    journal.write("{}");
    if (!giveToAnotherUser(logFolder, L"pending-change.json")) {
        journal.remove();
        GTEST_SKIP() << "the journal could not be given to another Unix user (chown needs root)";
    }
    try {
        journal.read();
        ADD_FAILURE() << "read another account's journal";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), ERROR_INVALID_OWNER);
    }
    DeleteFileW(journalPath.c_str());
}

// A draft name planted as a hard link (in a folder that was once open to every user) is
// removed, not written through.
TEST(ChangeJournalFile, WritesNothingThroughAPlantedDraft) {
    const std::wstring journalPath = logFolder + L"\\pending-change.json";
    const std::wstring target = commonAppData() + L"\\velkora-draft-target.txt";
    win32::ChangeJournalFile journal;
    journal.write("{}");
    {
        std::ofstream file(target.c_str(), std::ios::binary);
        file << "14 bytes here\n";
    }
    ASSERT_TRUE(CreateHardLinkW((journalPath + L".new").c_str(), target.c_str(), nullptr));
    journal.write("{\"state\": 2}\r\n");
    EXPECT_EQ(contentOf(target), "14 bytes here\n");
    EXPECT_EQ(journal.read(), std::optional<std::string>("{\"state\": 2}\r\n"));
    journal.remove();
    DeleteFileW(target.c_str());
}

} // namespace
} // namespace velkora::test
