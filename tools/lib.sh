# Shared helpers for tools/test, tools/run and tools/bench. Source it; do not run it.
# shellcheck shell=bash

VELKORA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELKORA_BUILD="${VELKORA_BUILD:-$VELKORA_ROOT/build}"

VELKORA_PACKAGES=(cmake make g++ clang libclang-rt-14-dev googletest
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-utils
    imagemagick fonts-wqy-zenhei locales libstb-dev nlohmann-json3-dev python3
    wixl msitools zip unzip osslsigncode openssl)

# The Remote Desktop listener's two keys; each holds the port in a value PortNumber.
LISTENER_KEYS=(
    'HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server\Wds\rdpwd\Tds\tcp'
    'HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server\WinStations\RDP-Tcp'
)

log() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs whatever of the packages is missing, and the zh_CN.UTF-8 locale.
ensure_packages() {
    local missing=()
    local p
    for p in "${VELKORA_PACKAGES[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
    fi
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
        log "generating the zh_CN.UTF-8 locale"
        as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen ||
            echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
        as_root locale-gen >/dev/null
    fi
}

# build_tree PRESET [targets...]: configures $VELKORA_BUILD/PRESET once with the preset of
# that name (CMakePresets.json), then builds it (or only the targets named) incrementally.
build_tree() {
    local preset="$1"
    shift
    local dir="$VELKORA_BUILD/$preset"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        (cd "$VELKORA_ROOT" && cmake --preset "$preset" -B "$dir" >/dev/null)
    fi
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# A Wine prefix in the Chinese locale; made on first use. Exports what Wine needs.
use_wine_prefix() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export LANG="${VELKORA_WINE_LANG:-zh_CN.UTF-8}"
    export LC_ALL="$LANG"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "making the Wine prefix $WINEPREFIX ($LANG)"
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
        # Without a window manager, unmanaged windows close at once.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
    fi
}

# Keeps one wineserver alive and warm, so that tests neither wait on helpers nor lose
# registry ACLs between processes.
warm_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wineserver() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}

# Starts a private Xvfb on a free display; sets DISPLAY and VELKORA_XVFB_PID.
start_xvfb() {
    local n=99
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    VELKORA_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    log "Xvfb did not start"
    return 1
}

# set_listener_port PORT: both listener values in the current Wine prefix, as REG_DWORD.
set_listener_port() {
    local key
    for key in "${LISTENER_KEYS[@]}"; do
        wine reg add "$key" /v PortNumber /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
    done
}

stop_xvfb() {
    if [ -n "${VELKORA_XVFB_PID:-}" ]; then
        kill "$VELKORA_XVFB_PID" 2>/dev/null || true
        wait "$VELKORA_XVFB_PID" 2>/dev/null || true
        VELKORA_XVFB_PID=
    fi
}
