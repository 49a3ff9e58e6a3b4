# The sandbox Wine prefix of tools/run: Chinese locale, the Remote Desktop listener at 3389,
# and harmless stand-ins in place of the browser and of the system's shutdown command, so
# that nothing the demonstration does can restart anything. Source it after lib.sh.
# shellcheck shell=bash

SANDBOX_PREFIX="${SANDBOX_PREFIX:-$VELKORA_BUILD/sandbox-prefix}"
SANDBOX_WINDOWS_DIR='C:\velkora-sandbox'
SANDBOX_RECORDS_WINDOWS="$SANDBOX_WINDOWS_DIR\\records"

SANDBOX_KEYS=(
    "${LISTENER_KEYS[@]}"
    'HKLM\SYSTEM\ControlSet001\Services\SharedAccess\Parameters\FirewallPolicy\StandardProfile\GloballyOpenPorts\List'
    'HKLM\SYSTEM\ControlSet001\Services\SharedAccess\Parameters\FirewallPolicy\DomainProfile\GloballyOpenPorts\List'
)

sandbox_dir() { echo "$WINEPREFIX/drive_c/velkora-sandbox"; }

quiet_wine() { wine "$@" </dev/null >/dev/null 2>&1; }

# make_sandbox WINDOWS_BUILD_DIR: makes (first time) and prepares the prefix; exports
# WINEPREFIX and what the stand-ins need. Puts the listener back to 3389 every time.
make_sandbox() {
    local build="$1"
    use_wine_prefix "$SANDBOX_PREFIX"
    warm_wineserver
    local dir
    dir="$(sandbox_dir)"
    mkdir -p "$dir/records"
    rm -f "$dir/records/"*
    cp "$build/ui/velkora.exe" "$dir/velkora.exe"
    cp "$build/ui/velkora-cli.exe" "$dir/velkora-cli.exe"
    cp "$build/standins/browser_standin.exe" "$dir/browser_standin.exe"
    # The restart: cmd runs shutdown from the system directory; ours only records its arguments.
    cp "$build/standins/shutdown.exe" "$WINEPREFIX/drive_c/windows/system32/shutdown.exe"
    quiet_wine reg add 'HKCU\Software\Wine\DllOverrides' /v shutdown.exe /d native /f
    # The website: the https handler is the recording stand-in.
    quiet_wine reg add 'HKLM\Software\Classes\https\shell\open\command' /ve \
        /d "\"$SANDBOX_WINDOWS_DIR\\browser_standin.exe\" %1" /f
    set_listener_port 3389
    export VELKORA_RECORDS="$SANDBOX_RECORDS_WINDOWS"
}

# Prints the listener's two values and both open-port lists, exactly as stored.
print_sandbox_registry() {
    local key file
    file="$(mktemp)"
    for key in "${SANDBOX_KEYS[@]}"; do
        printf '  [%s]\n' "$key"
        if LANG=C wine reg export "$key" "$(winepath -w "$file" 2>/dev/null)" /y </dev/null >/dev/null 2>&1; then
            iconv -f UTF-16LE -t UTF-8 "$file" | tr -d '\r' | grep -E '^"(PortNumber|[^"]*:TCP)' |
                while IFS= read -r line; do
                    local name="${line%%=*}" data="${line#*=}"
                    if [[ "$data" == dword:* ]]; then
                        printf '    %s = %d (REG_DWORD)\n' "$name" "$((16#${data#dword:}))"
                    else
                        printf '    %s = %s (REG_SZ)\n' "$name" "$data"
                    fi
                done
        else
            echo "    (no such key)"
        fi
    done
    rm -f "$file"
}

# Prints what the stand-ins were asked to do.
print_sandbox_calls() {
    local dir found=0 rec
    dir="$(sandbox_dir)/records"
    for rec in "$dir"/*.rec; do
        [ -e "$rec" ] || continue
        found=1
        # The first field of a record is the arguments the stand-in was given.
        printf '  %s got: %s\n' "$(basename "${rec%-*}")" "$(iconv -f UTF-16LE -t UTF-8 "$rec" | cut -f1)"
    done
    [ "$found" = 1 ] || echo "  (none)"
}

# run_sandbox_cli ARGS...: runs velkora-cli.exe in the sandbox and shows the command, its
# output and its exit code.
run_sandbox_cli() {
    printf '  > velkora-cli %s\n' "$*"
    local code=0 output
    output="$(mktemp)"
    (cd "$(sandbox_dir)" && wine velkora-cli.exe "$@" </dev/null >"$output" 2>&1) || code=$?
    sed 's/\r$//; s/^/    /' "$output"
    rm -f "$output"
    # Linux sees an exit code modulo 256; these are the tool's codes above 255.
    case $code in 82) code=1618 ;; 105) code=1641 ;; 194) code=3010 ;; esac
    printf '    (exit code %s)\n' "$code"
}

# start_sandbox_remote_desktop WINDOWS_BUILD_DIR: TermService of the sandbox becomes the
# stand-in of the service tests (it listens on the listener's port), registered as those tests
# register it; the listener goes back to 3389 and the stand-in starts. Wine ends a prefix's
# services with its last program: a waiting one keeps them until stop_sandbox_remote_desktop.
start_sandbox_remote_desktop() {
    local build="$1"
    "$VELKORA_ROOT/tests/service/run_with_standins.sh" "$SANDBOX_PREFIX" \
        "$build/tests/service/velkora_standin_service.exe" cmd /c exit
    warm_wineserver
    set_listener_port 3389
    rm -f "$(sandbox_dir)/keeper"
    mkfifo "$(sandbox_dir)/keeper"
    wine cmd /c pause <"$(sandbox_dir)/keeper" >/dev/null 2>&1 &
    exec 8>"$(sandbox_dir)/keeper"
    quiet_wine sc stop TermService
    quiet_wine sc start TermService
}

stop_sandbox_remote_desktop() {
    exec 8>&-
    wineserver -k </dev/null >/dev/null 2>&1 || true
}

# The TCP ports from 3389 to 3399 that something listens on.
print_listening() {
    printf '  listening: %s\n' "$(ss -ltnH | awk '{print $4}' | grep -oE ':33(89|9[0-9])$' |
        tr -d : | sort -u | tr '\n' ' ')"
}
