#!/bin/sh
# A plain Linux process that listens on a free TCP port, for tests that check what a
# Windows program under Wine sees of it.
#   linux_listener.sh start FILE   starts it; FILE then reads "PORT PID"
#   linux_listener.sh stop FILE    ends it
set -eu
file="$2"
case "$1" in
start)
    rm -f "$file" "$file.tmp"
    setsid /usr/bin/python3 -c '
import os, socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.bind(("0.0.0.0", 0))
s.listen(4)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write("%d %d\n" % (s.getsockname()[1], os.getpid()))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
time.sleep(900)  # ends by itself should the stop never come
' "$file" </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do
        [ -f "$file" ] && exit 0
        sleep 0.1
    done
    echo "the listener did not start" >&2
    exit 1
    ;;
stop)
    [ -f "$file" ] && kill "$(cut -d' ' -f2 "$file")" 2>/dev/null || true
    rm -f "$file"
    ;;
esac
