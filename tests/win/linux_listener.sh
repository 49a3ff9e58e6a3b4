#!/bin/sh
# A plain Linux process listening on a free TCP port, for tests of what a Windows program
# under Wine sees of it. "start FILE" starts it and writes "PORT PID" to FILE; "stop FILE"
# ends it.
set -eu
case "$1" in
start)
    rm -f "$2"
    setsid /usr/bin/python3 -c '
import os, socket, sys, time
s = socket.socket()
s.bind(("0.0.0.0", 0))
s.listen(4)
open(sys.argv[1] + ".tmp", "w").write("%d %d\n" % (s.getsockname()[1], os.getpid()))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
time.sleep(900)  # ends by itself should the stop never come
' "$2" </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do
        [ -f "$2" ] && exit 0
        sleep 0.1
    done
    echo "the listener did not start" >&2
    exit 1
    ;;
stop)
    [ -f "$2" ] && kill "$(cut -d' ' -f2 "$2")" 2>/dev/null || true
    rm -f "$2"
    ;;
esac
