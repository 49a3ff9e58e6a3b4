#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform_error.h"
#include "platform/win32/change/change_lock.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A name of this test's own, so that no other program's change is disturbed.
std::wstring testLockName() {
    return L"PortChange.Test." + std::to_wstring(GetCurrentProcessId());
}

// Tries the lock from a thread of its own (a mutex is re-entrant for the thread holding it);
// gives the error number, 0 when it was taken, and how long it took.
long tryFromAnotherThread(DWORD waitMs, milliseconds& took) {
    long number = -1;
    std::thread other([&] {
        win32::NamedMutexChangeLock lock(testLockName(), waitMs);
        const auto start = steady_clock::now();
        try {
            lock.acquire();
            number = 0;
            lock.release();
        } catch (const PlatformError& error) {
            number = error.number();
        }
        took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
    });
    other.join();
    return number;
}

// Held elsewhere (1618 after the wait) and released in time are run against the real
// command line in the end-to-end tests.
TEST(NamedMutexChangeLock, ALockLeftByAnEndedHolderIsTakenOver) {
    // Keeps the mutex in existence after the holder's thread and handle are gone.
    win32::NamedMutexChangeLock keeper(testLockName(), 0);
    keeper.acquire();
    keeper.release();
    std::thread abandoning([] {
        win32::NamedMutexChangeLock lock(testLockName(), 0);
        lock.acquire(); // the thread ends without releasing it
    });
    abandoning.join();
    milliseconds took{};
    EXPECT_EQ(tryFromAnotherThread(300, took), 0);
}

// What taking the lock at once gives: "taken", or the error's number and description.
std::wstring tryAtOnce(const std::wstring& name) {
    win32::NamedMutexChangeLock lock(name, 0);
    try {
        lock.acquire();
        lock.release();
        return L"taken";
    } catch (const PlatformError& error) {
        return std::to_wstring(error.number()) + L" " + error.description();
    }
}

// Anyone may make an object of the global name first: a mutex owned by another account, one
// with a DACL that shuts the administrators out, or an object of another kind. On Windows the
// lock lives in the administrators' private namespace and none of them is in its way. Wine has
// no private namespaces: there the lock takes the global name and refuses each, neither
// waiting in vain nor telling "access denied" or "invalid handle".
TEST(NamedMutexChangeLock, IsNotHeldOffByWhatAnotherAccountMakesUnderTheGlobalName) {
    const std::wstring name = win32::globalMutexName(testLockName());
    const std::wstring expected =
        runningUnderWine()
            ? L"1307 端口修改锁被另一个账户（不是 SYSTEM 或管理员组）占用，未做任何修改。"
            : L"taken";
    for (const wchar_t* foreign : {L"O:WDD:(A;;GA;;;WD)", L"D:P(D;;GA;;;WD)", L"an event"}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr; // none for the event, which is not SDDL
        ConvertStringSecurityDescriptorToSecurityDescriptorW(foreign, SDDL_REVISION_1, &descriptor,
                                                             nullptr);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const HANDLE planted = descriptor != nullptr
                                   ? CreateMutexW(&attributes, FALSE, name.c_str())
                                   : CreateEventW(nullptr, FALSE, FALSE, name.c_str());
        LocalFree(descriptor);
        ASSERT_NE(planted, nullptr) << foreign;
        EXPECT_EQ(tryAtOnce(testLockName()), expected) << foreign;
        CloseHandle(planted);
    }
}

} // namespace
} // namespace velkora::test
