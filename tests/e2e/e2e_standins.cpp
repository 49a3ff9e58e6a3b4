#include "tests/e2e/e2e_standins.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/common/registry_values.h"
#include "tests/e2e/e2e_environment.h"

namespace {

constexpr const wchar_t* httpsCommandKey = L"Software\\Classes\\https\\shell\\open\\command";
constexpr const wchar_t* wineOverridesKey = L"Software\\Wine\\DllOverrides";
constexpr const wchar_t* shutdownOverride = L"shutdown.exe";

std::wstring systemShutdown() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\shutdown.exe";
}

} // namespace

namespace velkora::test {

// Before the tests, the stand-ins take the place of the browser (the https handler) and of
// the system's shutdown command; afterwards both are put back.
class StandIns : public ::testing::Environment {
public:
    void SetUp() override {
        SetProcessDPIAware(); // rectangles in real pixels, whatever the program's DPI
        CreateDirectoryW(test::recordsFolder().c_str(), nullptr);
        records_.emplace(L"VELKORA_RECORDS", test::recordsFolder());
        // Wine prefers its built-in shutdown.exe to a file of that name unless told; the
        // setting is read by each new process from the prefix's registry.
        override_.emplace(HKEY_CURRENT_USER, wineOverridesKey, shutdownOverride,
                          stringValue(L"native"));

        backup_ = systemShutdown() + L".velkora-e2e-backup";
        if (GetFileAttributesW(backup_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            CopyFileW(systemShutdown().c_str(), backup_.c_str(), TRUE);
        }
        ASSERT_TRUE(CopyFileW((test::driverFolder() + L"\\shutdown.exe").c_str(),
                              systemShutdown().c_str(), FALSE))
            << "cannot put the shutdown stand-in into the system directory";

        httpsCommand_.emplace(
            HKEY_LOCAL_MACHINE, httpsCommandKey, nullptr,
            stringValue(L"\"" + test::driverFolder() + L"\\browser_standin.exe\" %1"));
    }

    void TearDown() override {
        if (GetFileAttributesW(backup_.c_str()) != INVALID_FILE_ATTRIBUTES) {
            CopyFileW(backup_.c_str(), systemShutdown().c_str(), FALSE);
            DeleteFileW(backup_.c_str());
        }
        httpsCommand_.reset();
        override_.reset();
        records_.reset();
    }

private:
    std::optional<test::ScopedEnvironmentVariable> records_;
    std::wstring backup_;
    std::optional<ScopedValue> httpsCommand_, override_;
};

::testing::Environment* newStandIns() {
    return new StandIns;
}

} // namespace velkora::test
