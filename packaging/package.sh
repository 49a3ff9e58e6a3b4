# Packaging of the two exes: signing, the MSI (velkora.wxs, built with wixl), the portable zip
# and the checksums. Used by tools/release and by the package test; source it.
# shellcheck shell=bash

VELKORA_PACKAGING="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# The product's upgrade code, as in velkora.wxs; every version's product code derives from it.
VELKORA_UPGRADE_CODE='4B7E2A51-6C0D-4F2E-9A3B-1D5C8E7F9A20'

# The texts of the package in Simplified Chinese. wixl 0.101 writes its database in code page 0
# and crashes on a text that starts with ASCII and goes on beyond it, so velkora.wxs holds
# ASCII keys in their place; these replace them once the database is in code page 936
# (GBK, which Windows Installer reads on every Windows).
# Rows: table, key column, key, column, text.
VELKORA_MSI_TEXTS=(
    'Shortcut|Shortcut|StartMenuShortcut|Name|Velkora|Velkora工具'
    'Shortcut|Shortcut|StartMenuShortcut|Description|Harnoq服务器Velkora工具'
    'Feature|Feature|Velkora|Title|Velkora工具'
    'LaunchCondition|Condition|Installed OR (VersionNT64 >= 601)|Description|Velkora工具 需要 64 位 Windows 7 / Server 2008 R2 或更高版本。'
    'LaunchCondition|Condition|NOT WIX_DOWNGRADE_DETECTED|Description|已安装更高版本的 Velkora工具，未安装此旧版本，已安装的版本保持不变。如需换用此版本，请先卸载已安装的版本。'
)

# velkora_version_of BUILD_DIR: the version a configured tree builds, from its generated header.
velkora_version_of() {
    sed -n 's/^#define VELKORA_VERSION_TEXT "\(.*\)"$/\1/p' "$1/generated/velkora_version.h"
}

# A UUID derived from a name (version 5, in the upgrade code's namespace), upper case in braces.
derived_guid() {
    python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "$VELKORA_UPGRADE_CODE" "$1"
}

# The product code of a version: new for each version, the same for each build of it, so
# that detection rules written for a version hold for every copy of its package.
product_code_of() { derived_guid "Velkora $1 x64"; }

# sign_file FILE: signs it in place (Authenticode, SHA-256) with VELKORA_SIGN_PKCS12 and the
# password in the file VELKORA_SIGN_PASSWORD_FILE, time-stamped by VELKORA_SIGN_TIMESTAMP_URL
# (RFC 3161) when that is set. The signing time is SOURCE_DATE_EPOCH, so that a signed
# build is as reproducible as an unsigned one (the time stamp, if any, is not).
sign_file() {
    local file="$1" signed="$1.signed"
    local options=(-pkcs12 "$VELKORA_SIGN_PKCS12" -h sha256 -n Velkora -i https://harnoq.example/)
    [ -z "${VELKORA_SIGN_PASSWORD_FILE:-}" ] || options+=(-readpass "$VELKORA_SIGN_PASSWORD_FILE")
    [ -z "${VELKORA_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$VELKORA_SIGN_TIMESTAMP_URL")
    [ -z "${SOURCE_DATE_EPOCH:-}" ] || options+=(-time "$SOURCE_DATE_EPOCH")
    rm -f "$signed"
    osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >/dev/null
    mv "$signed" "$file"
}

signing_asked() { [ -n "${VELKORA_SIGN_PKCS12:-}" ]; }

# sql_text TEXT: a string literal of the installer's SQL.
sql_text() { printf "'%s'" "${1//\'/\'\'}"; }

# make_msi VERSION BIN_DIR OUT: the package of the two exes in BIN_DIR, at that version.
make_msi() {
    local version="$1" bin="$2" out="$3"
    local stage
    stage="$(mktemp -d)"
    cp "$VELKORA_PACKAGING/velkora.wxs" "$bin/velkora.exe" "$bin/velkora-cli.exe" \
        "$VELKORA_PACKAGING/../resources/velkora.ico" "$stage/"
    touch -d "@${SOURCE_DATE_EPOCH:-0}" "$stage"/*
    # wixl takes the sources by names relative to where it runs.
    (cd "$stage" && wixl -a x64 -D Version="$version" -D ProductCode="$(product_code_of "$version")" \
        -D BinDir=. -D IconFile=velkora.ico -o velkora.msi velkora.wxs)
    printf '\r\n\r\n936\t_ForceCodepage\r\n' >"$stage/_ForceCodepage.idt"
    (cd "$stage" && msibuild velkora.msi -i _ForceCodepage.idt)
    local row table keyColumn key column text
    for row in "${VELKORA_MSI_TEXTS[@]}"; do
        IFS='|' read -r table keyColumn key column text <<<"$row"
        msibuild "$stage/velkora.msi" -q "UPDATE \`$table\` SET \`$column\` = $(sql_text "$text")
            WHERE \`$keyColumn\` = $(sql_text "$key")"
    done
    # The package code names this very package: derived from everything that went into it.
    local packageCode inputs
    inputs="$(cat "$stage/velkora.wxs" "$bin/velkora.exe" "$bin/velkora-cli.exe" | sha256sum | cut -c1-64)"
    packageCode="$(derived_guid "$inputs $version")"
    msibuild "$stage/velkora.msi" -s "Velkora $version" Harnoq 'x64;2052' "$packageCode"
    ! signing_asked || sign_file "$stage/velkora.msi"
    mv "$stage/velkora.msi" "$out"
    rm -rf "$stage"
}

# make_zip VERSION BIN_DIR OUT: both exes and the portable-use text in a folder
# velkora-VERSION-x64, entries sorted, every time SOURCE_DATE_EPOCH (UTC), no owner or
# extra fields, so that the same exes give the same bytes.
make_zip() {
    local version="$1" bin="$2" out="$3"
    local stage name="velkora-$version-x64" target
    stage="$(mktemp -d)"
    target="$(realpath -m "$out")"
    mkdir "$stage/$name"
    cp "$bin/velkora.exe" "$bin/velkora-cli.exe" "$stage/$name/"
    sed "s/@VERSION@/$version/g; s/\$/\r/" "$VELKORA_PACKAGING/portable.txt" >"$stage/$name/README.txt"
    chmod 644 "$stage/$name"/*
    chmod 755 "$stage/$name"
    find "$stage/$name" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-0}" {} +
    rm -f "$target"
    (cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$target")
    rm -rf "$stage"
}

# write_sums DIR FILES...: SHA256SUMS in DIR, as sha256sum -c reads it.
write_sums() {
    local dir="$1"
    shift
    (cd "$dir" && sha256sum "$@" >SHA256SUMS)
}
