// The floors for the command line's start-up: a console program with velkora-cli's imports
// (kernel32, advapi32 and the C runtime) and nothing else. Without arguments it writes one line
// and ends, as `velkora-cli --version` does; with `listener` it first reads the Remote Desktop
// listener's two port values and writes them, the least that `velkora-cli status` does.
#include <windows.h>

#include <cwchar>

namespace {

const wchar_t* const listenerKeys[] = {
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp",
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp",
};

void writeOut(const char* text, DWORD length) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, nullptr);
}

void writePort(DWORD port) {
    char digits[16];
    int at = sizeof digits;
    digits[--at] = '\n';
    digits[--at] = '\r';
    do {
        digits[--at] = static_cast<char>('0' + port % 10);
        port /= 10;
    } while (port != 0);
    writeOut(digits + at, static_cast<DWORD>(sizeof digits - at));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"listener") == 0) {
        for (const wchar_t* key : listenerKeys) {
            DWORD port = 0;
            DWORD size = sizeof port;
            if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PortNumber", RRF_RT_REG_DWORD, nullptr,
                             &port, &size) != ERROR_SUCCESS) {
                return 1;
            }
            writePort(port);
        }
        return 0;
    }
    const char line[] = "bare-console 1.0.0\r\n";
    writeOut(line, sizeof line - 1);
    return 0;
}
