#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform_error.h"
#include "platform/win32/change/change_lock.h"

namespace velkora::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A name of this test's own, so that no other program's change is disturbed.
std::wstring testLockName() {
    return L"Global\\Velkora.PortChange.Test." + std::to_wstring(GetCurrentProcessId());
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

// A mutex of that name made first by someone else: owned by another account, or with a DACL
// that shuts the administrators out. Neither is waited for nor told as "access denied".
TEST(NamedMutexChangeLock, RefusesALockMadeByAnotherAccount) {
    for (const wchar_t* foreign : {L"O:WDD:(A;;GA;;;WD)", L"D:P(D;;GA;;;WD)"}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(foreign, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const HANDLE planted = CreateMutexW(&attributes, FALSE, testLockName().c_str());
        LocalFree(descriptor);
        ASSERT_NE(planted, nullptr) << foreign;
        win32::NamedMutexChangeLock lock(testLockName(), 0);
        try {
            lock.acquire();
            ADD_FAILURE() << "taken: " << foreign;
        } catch (const PlatformError& error) {
            EXPECT_EQ(error.number(), ERROR_INVALID_OWNER) << foreign;
            EXPECT_EQ(error.description(),
                      L"端口修改锁被另一个账户（不是 SYSTEM 或管理员组）占用，未做任何修改。");
        }
        CloseHandle(planted);
    }
}

} // namespace
} // namespace velkora::test
