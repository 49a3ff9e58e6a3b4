#!/usr/bin/env bash
# The packages as deployment engines use them, under Wine in a fresh prefix: a silent install
# of the signed MSI, a confirmed change from the installed program against the stand-in Remote
# Desktop service, an upgrade to a higher version, a refused downgrade and a silent removal;
# then the zip. Each step compares the whole state it leaves with the state expected.
# Usage: msi_test.sh WINDOWS_BUILD_DIR HIGHER_VERSION_BUILD_DIR
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/lib.sh"
source "$root/packaging/package.sh"
build="$1"
higher="$2"
work="$build/package-test"
failures=0

expect() {
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        diff <(echo "$2") <(echo "$3") | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

rm -rf "$work"
mkdir -p "$work/lower" "$work/higher"
cd "$work" || exit 1
v1="$(velkora_version_of "$build")"
v2="$(velkora_version_of "$higher")"

# A throwaway code-signing certificate; both packages and their exes are signed with it.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Velkora test signing' \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
echo 'test password' >password.txt
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout file:password.txt -out cert.p12
export VELKORA_SIGN_PKCS12="$work/cert.p12" VELKORA_SIGN_PASSWORD_FILE="$work/password.txt"
for pair in "lower:$build" "higher:$higher"; do
    cp "${pair#*:}/ui/velkora.exe" "${pair#*:}/ui/velkora-cli.exe" "${pair%%:*}/"
    sign_file "${pair%%:*}/velkora.exe"
    sign_file "${pair%%:*}/velkora-cli.exe"
done
make_msi "$v1" lower "$work/lower.msi"
make_msi "$v2" higher "$work/higher.msi"
verified() {
    local file
    for file in "$@"; do
        osslsigncode verify -CAfile cert.pem -in "$file" 2>&1 | grep -c '^Signature verification: ok'
    done | tr '\n' ' '
}
expect "the exes and the packages carry a signature that holds" "1 1 1 1 1 1 " \
    "$(verified lower/velkora.exe lower/velkora-cli.exe lower.msi \
        higher/velkora.exe higher/velkora-cli.exe higher.msi)"
expect "the package's texts" "$(printf '%s\n' "${VELKORA_MSI_TEXTS[@]}" | cut -d'|' -f5- | sort)" \
    "$(for t in Shortcut:3 Shortcut:7 Feature:3 LaunchCondition:2; do
        msiinfo export lower.msi "${t%%:*}" | tail -n +4 | cut -f"${t#*:}"
    done | tr -d '\r' | sort)"

# The fresh prefix, with the stand-in TermService of the service tests and the listener at
# 23389 (ports the other tests leave alone).
prefix="$work/prefix"
unset WINEPREFIX
"$root/tests/service/run_with_standins.sh" "$prefix" "$build/tests/service/velkora_standin_service.exe" \
    cmd /c exit
use_wine_prefix "$prefix"
set_listener_port 23389
# Wine ends services with the last program of the prefix: one waits for this script's end.
mkfifo keeper
wine cmd /c pause <keeper >/dev/null 2>&1 &
exec 9>keeper
trap 'exec 9>&-; wineserver -k </dev/null >/dev/null 2>&1' EXIT
wine sc stop TermService </dev/null >/dev/null 2>&1
wine sc start TermService </dev/null >/dev/null 2>&1
cp lower.msi higher.msi "$prefix/drive_c/"
installed="$prefix/drive_c/Program Files/Velkora"
data="$prefix/drive_c/ProgramData/Velkora"

# What a step is measured by: the program's files and version, the shortcut, the uninstall
# entries, the event source, the listener values and what listens.
reg_values() {
    LANG=C wine reg query "$1" </dev/null 2>/dev/null | tr -d '\r' |
        awk -v names="$2" 'BEGIN { n = split(names, want, " ") }
            { for (i = 1; i <= n; i++) if ($1 == want[i]) { $1 = ""; $2 = ""; sub(/^ +/, ""); v[i] = $0 } }
            END { for (i = 1; i <= n; i++) printf "%s%s", (i > 1 ? " | " : ""), v[i]; print "" }'
}
state() {
    echo "files: $(ls "$installed" 2>/dev/null | tr '\n' ' ')"
    echo "version: $([ -f "$installed/velkora-cli.exe" ] &&
        (cd "$installed" && wine velkora-cli.exe --version </dev/null 2>&1 | tr -d '\r'))"
    echo "shortcut: $(cd "$prefix/drive_c/users" && find . -name 'Velkora*.lnk' | sed 's|.*/||')"
    local uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' key
    for key in $(LANG=C wine reg query "$uninstall" </dev/null 2>/dev/null | tr -d '\r' | grep -o '{.*}$'); do
        [ "$(reg_values "$uninstall\\$key" DisplayName)" == Velkora ] &&
            echo "entry $key: $(reg_values "$uninstall\\$key" 'DisplayName Publisher DisplayVersion URLInfoAbout')"
    done
    echo "event source: $(reg_values 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Velkora' \
        'EventMessageFile TypesSupported')"
    echo "listener: $(for k in "${LISTENER_KEYS[@]}"; do reg_values "$k" PortNumber; done | tr '\n' ' ')"
    echo "listening: $(ss -ltnH | awk '{print $4}' | grep -oE ':(23389|24100|24200)$' | sort | tr '\n' ' ')"
}
installed_state() { # VERSION PRODUCT_CODE LISTENER_PORT
    cat <<END
files: velkora-cli.exe velkora.exe 
version: velkora-cli $1
shortcut: Velkora工具.lnk
entry $2: Velkora | Harnoq | $1 | https://harnoq.example/
event source: C:\\Program Files\\Velkora\\velkora-cli.exe | 0x7
listener: 0x$(printf %x "$3") 0x$(printf %x "$3") 
listening: :$3 
END
}
msiexec() {
    wine msiexec "$@" </dev/null >/dev/null 2>&1
    echo $?
}

expect "silent install: exit code" 0 "$(msiexec /i 'C:\lower.msi' /qn /norestart)"
expect "silent install: state" "$(installed_state "$v1" "$(product_code_of "$v1")" 23389)" "$(state)"

cli_json() { # DIRECTORY ARGUMENTS...
    (cd "$1" && shift && wine velkora-cli.exe "$@" --json </dev/null 2>/dev/null)
}
fields() { # the JSON's values at these dotted paths, on one line
    python3 -c 'import functools, json, sys; j = json.load(sys.stdin)
print(*(functools.reduce(lambda v, k: v[k], p.split("."), j) for p in sys.argv[1:]))' "$@"
}
expect "a confirmed change from the installed program" "0 pending $v1" \
    "$(cli_json "$installed" set 24100 --restart service --confirm-seconds 300 |
        fields exitCode confirmation version)"
expect "its pending change" "23389 24100 awaiting-confirmation" \
    "$(cli_json "$installed" status | fields pendingChange.oldPort pendingChange.newPort pendingChange.state)"
expect "confirmed" "0 True" "$(cli_json "$installed" confirm | fields exitCode confirmed)"
expect "after the change: state" "$(installed_state "$v1" "$(product_code_of "$v1")" 24100)" "$(state)"

expect "upgrade: exit code" 0 "$(msiexec /i 'C:\higher.msi' /qn /norestart)"
expect "upgrade: state" "$(installed_state "$v2" "$(product_code_of "$v2")" 24100)" "$(state)"
# Linux sees the low eight bits of an exit code: 1603 is 67.
expect "downgrade: exit code" 67 "$(msiexec /i 'C:\lower.msi' /qn /norestart)"
expect "downgrade: state" "$(installed_state "$v2" "$(product_code_of "$v2")" 24100)" "$(state)"

# A change awaiting confirmation while the package goes. Its watcher runs a copy of its own,
# not the installed program, which the removal takes away.
mkdir -p "$prefix/drive_c/portable"
cp lower/velkora-cli.exe "$prefix/drive_c/portable/"
expect "a pending change" "0 pending" \
    "$(cli_json "$prefix/drive_c/portable" set 24200 --restart service --confirm-seconds 300 |
        fields exitCode confirmation)"
journal="$(cat "$data/pending-change.json")"
log="$(cat "$data/velkora-cli.log")"
expect "silent removal: exit code" 0 "$(msiexec /x "$(product_code_of "$v2")" /qn)"
expect "silent removal: state" "files: 
version: 
shortcut: 
event source:  | 
listener: 0x5e88 0x5e88 
listening: :24200 " "$(state)"
expect "silent removal: the pending change and the result log" "$journal
$log" "$(cat "$data/pending-change.json")
$(cat "$data/velkora-cli.log")"

# The zip: the exes as built, and the portable text.
SOURCE_DATE_EPOCH=0 make_zip "$v1" lower "$work/portable.zip"
expect "the zip's entries" "velkora-$v1-x64/README.txt
velkora-$v1-x64/velkora-cli.exe
velkora-$v1-x64/velkora.exe" "$(zipinfo -1 portable.zip)"
unzip -q -d unzipped portable.zip
expect "the zip's exes are those given" "" "$(cmp "unzipped/velkora-$v1-x64/velkora-cli.exe" lower/velkora-cli.exe
    cmp "unzipped/velkora-$v1-x64/velkora.exe" lower/velkora.exe 2>&1)"

echo "$failures failed"
[ "$failures" -eq 0 ]
