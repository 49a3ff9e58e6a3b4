#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform_error.h"
#include "platform/win32/change_lock.h"

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

} // namespace
} // namespace velkora::test
