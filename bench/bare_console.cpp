// The floor for the command line's start-up: a console program that writes one line and ends,
// importing what any program of this toolchain does (kernel32 and the C runtime) and nothing
// else.
#include <windows.h>

int wmain() {
    const char line[] = "bare-console 1.0.0\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, nullptr);
    return 0;
}
