#!/usr/bin/env bash
# Makes the banner (banner.jpg, 309 x 66) and the program icons (velkora.ico: 16, 32, 48 and
# 64 px, 32 bpp; velkora-cli.ico, the same with the two larger as PNG) next to this script.
# Needs ImageMagick and the WQY Zen Hei font. The outputs
# are committed; run this again only to change the artwork.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
font="${VELKORA_CJK_FONT:-/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc}"
[ -f "$font" ] || { echo "font not found: $font (apt-get install fonts-wqy-zenhei)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

brand="Harnoq"
subtitle="服务器远程端口工具"

# Banner: a deep blue band with the brand on the left and the subtitle under it.
convert -size 66x309 gradient:'#0b2a5b'-'#1f5fa8' -rotate -90 \
    -fill '#2f7fd0' -draw 'polygon 230,0 309,0 309,66 190,66' \
    -fill '#5aa0e6' -draw 'polygon 262,0 309,0 309,66 236,66' \
    -font "$font" -fill white -pointsize 26 -annotate +14+33 "$brand" \
    -fill '#cfe3ff' -pointsize 14 -annotate +15+55 "$subtitle" \
    -strip -interlace none -sampling-factor 4:2:0 -quality 92 "$work/banner.jpg"
cp "$work/banner.jpg" "$here/banner.jpg"

# Icon: a rounded blue tile with a white "V", drawn at 256 px and reduced per size.
convert -size 256x256 xc:none \
    -fill '#1f5fa8' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#5aa0e6' -draw 'polygon 160,8 247,8 247,120' \
    -fill white -font "$font" -pointsize 200 -gravity center -annotate +0+6 'V' \
    "$work/master.png"
sizes=(16 32 48 64)
frames=()
for s in "${sizes[@]}"; do
    convert "$work/master.png" -filter Lanczos -resize "${s}x${s}" -strip \
        -define png:color-type=6 "PNG32:$work/icon-$s.png"
    frames+=("$work/icon-$s.png")
done
# ImageMagick stores sizes below 256 as 32 bpp bitmaps with alpha: the window's icon, which
# it loads at start-up. The command line never loads its own, only Explorer shows it: there
# the 48 and 64 px images are PNG (Windows reads PNG icon images since Vista), 22 KiB less.
# (Under Wine a window whose icon holds PNG images starts some 30 ms later.)
convert "${frames[@]}" "$work/bitmaps.ico"
cp "$work/bitmaps.ico" "$here/velkora.ico"
python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
icon = open(f"{work}/bitmaps.ico", "rb").read()
count = struct.unpack("<H", icon[4:6])[0]
entries, images = [], []
for i in range(count):
    w, h, colours, reserved, planes, bpp, size, offset = struct.unpack(
        "<BBBBHHII", icon[6 + 16 * i:22 + 16 * i])
    image = icon[offset:offset + size]
    if w in (48, 64):
        image = open(f"{work}/icon-{w}.png", "rb").read()
    entries.append((w, h, colours, reserved, planes, bpp))
    images.append(image)
header = struct.pack("<HHH", 0, 1, count)
offset = len(header) + 16 * count
for entry, image in zip(entries, images):
    header += struct.pack("<BBBBHHII", *entry, len(image), offset)
    offset += len(image)
open(f"{work}/velkora-cli.ico", "wb").write(header + b"".join(images))
PY
cp "$work/velkora-cli.ico" "$here/velkora-cli.ico"

identify "$here/banner.jpg" "$here/velkora.ico" "$here/velkora-cli.ico"
