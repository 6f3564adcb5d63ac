#!/usr/bin/env bash
# Publishing through nginx with the shipped site (packaging/vantorix2-records.nginx),
# side by side: one vantorix2-records on SQLite, one on PostgreSQL, two on one
# PostgreSQL database. Publishes per second and latency with wrk, and the CPU
# each part took meanwhile (100% = one core); for PostgreSQL its WAL syncs
# (one per commit of a group of publishes) and their time. A benchmark run by
# hand, not a test.
#
#   bench/records_server_cluster.sh [SERVER]
#
# SERVER: a vantorix2-records binary; default $VANTORIX2_RECORDS, else
# build/server/vantorix2-records (make server or make build makes it).
#
# PG_SETTINGS: lines added to the private PostgreSQL's postgresql.conf, to try a setting.
#
# Everything runs on 127.0.0.1 from a temporary folder removed on exit: a
# private PostgreSQL (initdb, trust on loopback, fsync on), the servers, nginx.
# As root, PostgreSQL runs as the system user postgres and nginx's workers as
# nobody. Every run is bounded in time.
set -uo pipefail

SECONDS_EACH=${CLUSTER_BENCH_SECONDS:-10}   # seconds of each wrk run
CONNECTIONS=8

die() { echo "records_server_cluster: $*" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
server=${1:-${VANTORIX2_RECORDS:-$here/../build/server/vantorix2-records}}
[[ -f $server && -x $server ]] || die "$server is not an executable file (make server builds it)"
server=$(realpath "$server")
site=$here/../packaging/vantorix2-records.nginx
[[ -f $site ]] || die "no $site"

command -v wrk >/dev/null || die "wrk is missing (sudo apt-get install wrk)"
for tool in python3 timeout awk sed; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done
nginx=$(PATH=$PATH:/usr/sbin:/sbin command -v nginx) || die "nginx is missing (sudo apt-get install nginx-light)"
pgbin=$(pg_config --bindir 2>/dev/null)
[[ -x $pgbin/initdb ]] || pgbin=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -1)
[[ -x $pgbin/initdb && -x $pgbin/pg_ctl && -x $pgbin/createdb ]] ||
    die "PostgreSQL's initdb, pg_ctl and createdb are missing (sudo apt-get install postgresql)"

tmp=$(mktemp -d /tmp/records_cluster.XXXXXX)
as_postgres=()
if [[ $(id -u) -eq 0 ]]; then
    # PostgreSQL refuses root; nginx's workers run as nobody and must get in.
    as_postgres=(runuser -u postgres --)
    chown postgres: "$tmp"
    chmod 755 "$tmp"
fi
pids=()
pg_started=
nginx_pid=
cleanup() {
    [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    for pid in "${pids[@]}"; do
        kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    [[ -n $pg_started ]] && (cd "$tmp" && "${as_postgres[@]}" "$pgbin/pg_ctl" stop -D "$tmp/pg" -m immediate -w >/dev/null 2>&1)
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# ---- PostgreSQL, as the tests' support/postgres_cluster.cpp starts it
(cd "$tmp" && "${as_postgres[@]}" "$pgbin/initdb" -D "$tmp/pg" --auth=trust -U vantorix2 -E UTF8 --locale=C \
    --no-sync >"$tmp/initdb.log" 2>&1) || die "initdb failed: $(cat "$tmp/initdb.log")"
cat >>"$tmp/pg/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$tmp'
fsync = on
synchronous_commit = on
track_wal_io_timing = on
EOF
# Settings to try, one per line, e.g. PG_SETTINGS=$'commit_delay = 200\ncommit_siblings = 2'.
printf '%s\n' "${PG_SETTINGS:-}" >>"$tmp/pg/postgresql.conf"
for _ in 1 2 3; do
    pg_port=$(free_port)
    if (cd "$tmp" && "${as_postgres[@]}" "$pgbin/pg_ctl" start -D "$tmp/pg" -l "$tmp/postgres.log" -w -t 60 \
        -o "-p $pg_port" >/dev/null 2>&1); then
        pg_started=1
        break
    fi
done
[[ -n $pg_started ]] || die "PostgreSQL did not start: $(tail -5 "$tmp/postgres.log")"
databases=0
# A fresh database; sets uri.
new_database() {
    databases=$((databases + 1))
    "$pgbin/createdb" -h 127.0.0.1 -p "$pg_port" -U vantorix2 "bench$databases" || die "createdb failed"
    uri="postgresql://vantorix2@127.0.0.1:$pg_port/bench$databases"
}

# Starts SERVER on a free port with the database; appends its pid to pids, sets port.
start_server() {
    local log=$tmp/server$RANDOM.log
    "$server" --listen 127.0.0.1:0 --db "$1" 2>"$log" &
    pids+=($!)
    port=
    for _ in $(seq 200); do
        port=$(head -1 "$log" 2>/dev/null | sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p')
        [[ -n $port ]] && return 0
        sleep 0.05
    done
    die "$server --db $1 did not start: $(cat "$log")"
}

# nginx with the shipped site in front of the instances at the ports given; sets nginx_port.
start_nginx() {
    local upstream="" p
    for p in "$@"; do
        upstream+="    server 127.0.0.1:$p max_fails=1 fail_timeout=5s;\n"
    done
    nginx_port=$(free_port)
    # The site as shipped: its two instances replaced by these, its HTTP listen line by a free
    # port; no HTTPS, and no limits per address (all the load comes from 127.0.0.1).
    sed -e '/^ *server 127\.0\.0\.1:8643 /d' -e "s|^ *server 127\.0\.0\.1:8642 .*|$upstream|" \
        -e "s|^\( *\)listen [0-9]*;|\1listen 127.0.0.1:$nginx_port;|" \
        -e '/^ *listen \[::\]/d' -e '/^ *listen 443 /d' -e '/^ *ssl_certificate/d' -e '/^ *limit_req zone=/d' \
        "$site" >"$tmp/site.conf"
    local user=
    [[ $(id -u) -eq 0 ]] && user="user nobody nogroup;"
    cat >"$tmp/nginx.conf" <<EOF
$user
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/nginx.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $tmp/body;
    proxy_temp_path $tmp/proxy;
    fastcgi_temp_path $tmp/fastcgi;
    uwsgi_temp_path $tmp/uwsgi;
    scgi_temp_path $tmp/scgi;
    include $tmp/site.conf;
}
EOF
    "$nginx" -p "$tmp/" -c "$tmp/nginx.conf" -e "$tmp/nginx.log" -g 'daemon off;' &
    nginx_pid=$!
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && return 0
        sleep 0.05
    done
    die "nginx did not start: $(cat "$tmp/nginx.log")"
}

stop_all() {
    kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    nginx_pid=
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    pids=()
}

# CPU ticks (user + system) of the processes given and of their children.
ticks() {
    local pid children all=()
    for pid in "$@"; do
        mapfile -t children < <(pgrep -P "$pid")
        all+=("$pid" "${children[@]}")
    done
    for pid in "${all[@]}"; do
        sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null
    done | awk '{ sum += $12 + $13 } END { print sum + 0 }'
}

hz=$(getconf CLK_TCK)
postmaster=$(head -1 "$tmp/pg/postmaster.pid")
# PostgreSQL's WAL syncs, their milliseconds, and the commits of every database so far.
pg_counters() {
    "$pgbin/psql" -h 127.0.0.1 -p "$pg_port" -U vantorix2 -d postgres -XAtF ' ' -c \
        "SELECT wal_sync, wal_sync_time, (SELECT sum(xact_commit) FROM pg_stat_database) FROM pg_stat_wal"
}

# One wrk run through nginx; sets rate and row (the table's columns but PostgreSQL's).
measure() {
    local before_nginx before_server before_pg out wrk_cpu
    before_nginx=$(ticks "$nginx_pid")
    before_server=$(ticks "${pids[@]}")
    before_pg=$(ticks "$postmaster")
    # One wrk thread: on a two-core machine a second only takes a core from the others.
    out=$( { TIMEFORMAT='%U %S'; time timeout $((SECONDS_EACH + 30)) wrk -t1 -c$CONNECTIONS -d"${SECONDS_EACH}s" \
        --latency -s "$here/records_publish.lua" "http://127.0.0.1:$nginx_port/" 2>&1; } 2>&1)
    wrk_cpu=$(tail -1 <<<"$out")
    rate=$(awk '/Requests\/sec/ { print $2 }' <<<"$out")
    row=$(awk -v seconds="$SECONDS_EACH" -v hz="$hz" -v wrk="$wrk_cpu" \
        -v nginx=$(($(ticks "$nginx_pid") - before_nginx)) -v server=$(($(ticks "${pids[@]}") - before_server)) \
        -v pg=$(($(ticks "$postmaster") - before_pg)) '
        /Requests\/sec/ { rate = $2 }
        /^ +50%/ { p50 = $2 }
        /^ +99%/ { p99 = $2 }
        /Non-2xx/ { errors += $NF }
        /Socket errors/ { errors += 1 }
        END {
            split(wrk, w, " ")
            printf "%9.0f/s  %-9s %-9s %5.0f%% %5.0f%% %5.0f%% %5.0f%%", rate, p50, p99,
                100 * (w[1] + w[2]) / seconds, 100 * nginx / hz / seconds, 100 * server / hz / seconds,
                100 * pg / hz / seconds
            if (errors) printf "  ERRORS %d", errors
        }' <<<"$out")
}

# The row with PostgreSQL's WAL syncs per second, milliseconds each, and
# publishes per commit between the two pg_counters given (none for SQLite).
print_row() {
    local name=$1 before=${2:-} after=${3:-}
    if [[ -z $before ]]; then
        printf "%-22s %s %8s %7s %9s\n" "$name" "$row" - - -
        return
    fi
    awk -v name="$name" -v row="$row" -v rate="$rate" -v seconds="$SECONDS_EACH" -v before="$before" -v after="$after" '
        BEGIN {
            split(before, b, " "); split(after, a, " ")
            syncs = a[1] - b[1]; commits = a[3] - b[3]
            printf "%-22s %s %8.0f %7.2f %9.1f\n", name, row, syncs / seconds, syncs ? (a[2] - b[2]) / syncs : 0,
                commits ? rate * seconds / commits : 0
        }'
}

echo "$server, $CONNECTIONS connections through nginx for ${SECONDS_EACH}s each, unique names;"
echo "databases in $tmp ($(df --output=fstype "$tmp" | tail -1)), $(nproc) cores; CPU: 100% = one core"
printf "%-22s %11s  %-9s %-9s %6s %6s %6s %6s %8s %7s %9s\n" configuration publishes p50 p99 wrk nginx server \
    postgres syncs/s ms/sync "per commit"

start_server "$tmp/records.db"
start_nginx "$port"
measure
stop_all
print_row "1 server, SQLite"

new_database
before=$(pg_counters)
start_server "$uri"
start_nginx "$port"
measure
stop_all
sleep 1
print_row "1 server, PostgreSQL" "$before" "$(pg_counters)"

new_database
before=$(pg_counters)
start_server "$uri"
first=$port
start_server "$uri"
start_nginx "$first" "$port"
measure
stop_all
sleep 1
print_row "2 servers, PostgreSQL" "$before" "$(pg_counters)"
