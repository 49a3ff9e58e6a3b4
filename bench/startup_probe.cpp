// Starts a program, waits until its window with the given caption is visible and its thread
// answers messages (a WM_NULL sent to the window returns), and prints the time that took and
// the process's peak working set. Then ends the program.
// usage: startup_probe <exe> <caption>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

double secondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

HWND visibleWindowOf(DWORD processId, const wchar_t* caption) {
    HWND window = FindWindowW(nullptr, caption);
    DWORD owner = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &owner);
    }
    return owner == processId && IsWindowVisible(window) ? window : nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: startup_probe <exe> <caption>\n");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "cannot start: %lu\n", GetLastError());
        return 1;
    }
    HWND window = nullptr;
    bool answered = false;
    while (!answered && secondsSince(start) < 30.0) {
        window = visibleWindowOf(process.dwProcessId, argv[2]);
        if (window == nullptr) {
            Sleep(1);
            continue;
        }
        // Returns once the program's thread takes the message: it has left its start-up
        // code and waits in its message loop.
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) != 0;
    }
    double seconds = secondsSince(start);
    // Let the first paint finish before reading the memory the program settled at.
    Sleep(300);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!answered) {
        std::fprintf(stderr, "no visible window that answers\n");
        return 1;
    }
    std::printf("%.1f %llu\n", seconds * 1000.0,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return 0;
}
