#!/usr/bin/env bash
# The records server under load and under attack, builds side by side: the
# publish and page rates with wrk, a normal client's latency while silent and
# byte-a-second clients are held, the peak memory under a huge body and a
# huge header block, and acknowledged publishes lost to SIGKILL. A benchmark
# run by hand, not a test.
#
#   bench/records_server_load.sh SERVER [SERVER...]   (SERVER: a vantorix2-records binary)
#
# To compare with an earlier commit, build its server beside this one:
#   git worktree add /tmp/base REV && cmake -S /tmp/base -B /tmp/base/build -DCMAKE_BUILD_TYPE=Release &&
#   cmake --build /tmp/base/build --target vantorix2-records
#
# Everything talks to servers started here on 127.0.0.1, each with a fresh
# database in a temporary folder removed on exit; every run is bounded in time.
set -uo pipefail

SECONDS_EACH=${LOAD_BENCH_SECONDS:-10}   # seconds of each wrk run
CONNECTIONS=8

die() { echo "records_server_load: $*" >&2; exit 2; }

[[ $# -ge 1 ]] || die "usage: bench/records_server_load.sh SERVER [SERVER...]"
servers=()
for server in "$@"; do
    [[ -f $server && -x $server ]] || die "$server is not an executable file"
    servers+=("$(realpath "$server")")
done
for tool in wrk python3 timeout awk; do
    command -v "$tool" >/dev/null || die "$tool is missing (sudo apt-get install wrk python3)"
done

here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/records_load.XXXXXX)
pid=
stop_server() {
    [[ -n $pid ]] && kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    pid=
}
trap 'stop_server; rm -rf "$tmp"' EXIT

# Starts SERVER on a free port with a fresh database; sets pid, port and db.
start_server() {
    db="$tmp/records-$RANDOM$RANDOM.db"
    "$1" --listen 127.0.0.1:0 --db "$db" 2>"$tmp/server.log" &
    pid=$!
    port=
    for _ in $(seq 100); do
        port=$(head -1 "$tmp/server.log" 2>/dev/null | sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p')
        [[ -n $port ]] && return 0
        sleep 0.05
    done
    die "$1 did not start: $(cat "$tmp/server.log")"
}

peak_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$pid/status"; }

# "rate p50 p99 errors" from one wrk run on PATH (or the publish script).
# One wrk thread: on a two-core machine a second takes the server's core.
run_wrk() {
    local out
    out=$(timeout $((SECONDS_EACH + 30)) wrk -t1 -c$CONNECTIONS -d"${SECONDS_EACH}s" --latency "$@" 2>&1)
    awk '
        /Requests\/sec/ { rate = $2 }
        /^ +50%/ { p50 = $2 }
        /^ +99%/ { p99 = $2 }
        /Non-2xx/ { errors += $NF }
        /Socket errors/ { errors += 1 }
        END { printf "%8.0f/s  p50 %-9s p99 %-9s %s\n", rate, p50, p99, errors ? "ERRORS " errors : "" }' <<<"$out"
}

results=()
for server in "${servers[@]}"; do
    echo "== $server"
    start_server "$server"
    publish=$(run_wrk -s "$here/records_publish.lua" "http://127.0.0.1:$port/")
    echo "publish, $CONNECTIONS connections, unique names: $publish  (log file $(($(stat -c %s "$db-wal") >> 20)) MB)"
    page=$(run_wrk "http://127.0.0.1:$port/view.php?v=results")
    echo "results page, $CONNECTIONS connections:         $page"
    held=$(timeout 60 python3 "$here/records_attack.py" silent "$port")
    echo "normal client under 1000 silent + 32 slow:   $held"
    stop_server

    start_server "$server"
    before=$(peak_kb)
    body=$(timeout 60 python3 "$here/records_attack.py" body "$port")
    echo "500 MB body to an unknown path:              $body; peak $((before / 1024)) -> $(($(peak_kb) / 1024)) MB"
    stop_server

    start_server "$server"
    before=$(peak_kb)
    headers=$(timeout 60 python3 "$here/records_attack.py" headers "$port")
    echo "200 MB of header lines:                      $headers; peak $((before / 1024)) -> $(($(peak_kb) / 1024)) MB"
    stop_server

    start_server "$server"
    killed=$(timeout 60 python3 "$here/records_attack.py" kill "$port" "$pid" "$db")
    wait "$pid" 2>/dev/null
    pid=
    echo "SIGKILL under 8 publishers:                  $killed"
done
