#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix of its own, where the stand-in service is
# registered as TermService (own process) with a second stand-in that depends on it.
# The test prefix itself is left alone. Wine ends services when the last program of the
# prefix ends, so the test program keeps them alive while it runs.
# Usage: run_with_standins.sh PREFIX STANDIN_EXE PROGRAM [ARGS...]
set -uo pipefail
prefix="$1"
standin="$2"
shift 2

if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/system.reg" ]; then
        cp -a "$WINEPREFIX" "$prefix"
    else
        mkdir -p "$prefix"
        WINEPREFIX="$prefix" wineboot -i </dev/null >/dev/null 2>&1
    fi
fi
export WINEPREFIX="$prefix"
wineserver -k </dev/null >/dev/null 2>&1

mkdir -p "$prefix/drive_c/velkora-test"
cp "$standin" "$prefix/drive_c/velkora-test/standin.exe"

# A one-item REG_MULTI_SZ as an ASCII .reg file spells it: the bytes of the text (regedit
# widens them).
multi_sz() {
    printf '%s\0\0' "$1" | od -An -tx1 -v | tr -s ' \n' ',' |
        sed 's/^,//; s/,$//'
}
reg_file="$prefix/drive_c/velkora-test/standins.reg"
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\TermService]\r\n'
    # Started with the system, as Remote Desktop is.
    printf '"ImagePath"="C:\\\\velkora-test\\\\standin.exe"\r\n"Type"=dword:00000010\r\n'
    printf '"Start"=dword:00000002\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VelkoraTestDependent]\r\n'
    printf '"ImagePath"="C:\\\\velkora-test\\\\standin.exe"\r\n"Type"=dword:00000010\r\n'
    printf '"Start"=dword:00000003\r\n"ErrorControl"=dword:00000001\r\n'
    printf '"ObjectName"="LocalSystem"\r\n"DependOnService"=hex(7):%s\r\n\r\n' "$(multi_sz TermService)"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\VelkoraTest\\StandIn]\r\n\r\n'
} >"$reg_file"
wine regedit /S 'C:\velkora-test\standins.reg' </dev/null >/dev/null 2>&1
# The service control manager reads its database when it starts: let this server save the
# registry and end, then start a fresh one whose helpers do not hold the caller's output.
wineserver -w </dev/null >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

wine "$@"
status=$?
wineserver -k </dev/null >/dev/null 2>&1
exit $status
