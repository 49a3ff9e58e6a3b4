#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform_error.h"
#include "platform/win32/change/result_log.h"

namespace velkora::test {
namespace {

std::wstring commonAppData() {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

const std::wstring logPath = commonAppData() + L"\\Velkora\\velkora-cli.log";

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

} // namespace
} // namespace velkora::test
