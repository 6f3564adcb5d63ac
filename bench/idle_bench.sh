#!/usr/bin/env bash
# How idle the game is, next to an empty Qt window of the same size: the time
# from exec to a viewable window, the resident memory, and the wakeups and
# CPU (its own and the sound server's) while idle, paused and under the
# autopilot. A benchmark run by hand, not a test.
#
#   bench/idle_bench.sh GAME [GAME...]      (GAME: a vantorix2 binary)
#
# Everything runs on a private Xvfb with openbox and a private PulseAudio
# daemon with a null sink, inside a temporary folder removed on exit; the
# user's display and sound setup are never touched. The programs take turns
# (interleaved), so that the load of a shared machine falls on all alike.
set -uo pipefail

STARTS=${IDLE_BENCH_STARTS:-7}   # start-up runs per program
WINDOW=${IDLE_BENCH_SECONDS:-20}   # seconds of each wakeup and CPU measurement
RSS_AT=5     # seconds after start when the resident memory is read

die() { echo "idle_bench: $*" >&2; exit 2; }
warn() { echo "idle_bench: warning: $*" >&2; }

[[ $# -ge 1 ]] || die "usage: bench/idle_bench.sh GAME [GAME...]"
games=()
for game in "$@"; do
    [[ -f $game && -x $game ]] || die "$game is not an executable file"
    games+=("$(realpath "$game")")
done
for tool in g++ pkg-config Xvfb openbox xdotool xprop pulseaudio pactl timeout realpath awk; do
    command -v "$tool" >/dev/null || die "$tool is missing (packages: xvfb openbox xdotool x11-utils pulseaudio pulseaudio-utils qt6-base-dev)"
done

root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d /tmp/idle_bench.XXXXXX)
tck=$(getconf CLK_TCK)

pids=()   # background processes of ours, stopped on exit
forget() {
    local kept=() p
    for p in "${pids[@]}"; do [[ $p == "$1" ]] || kept+=("$p"); done
    pids=("${kept[@]}")
}
cleanup() {
    trap - EXIT INT TERM HUP
    local i p alive
    # A program ends before its watcher, which reaps it.
    [[ -n ${run_watch:-} ]] && kill -0 "$run_watch" 2>/dev/null && stop_run
    # Newest first: a watcher takes its program with it.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null; done
    for ((i = 0; i < 30; i++)); do
        alive=0
        for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
        ((alive)) || break
        sleep 0.1
    done
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'echo "idle_bench: stopped by SIGINT" >&2; exit 130' INT
trap 'echo "idle_bench: stopped by SIGTERM" >&2; exit 143' TERM
trap 'echo "idle_bench: stopped by SIGHUP" >&2; exit 129' HUP

# ---- The programs ------------------------------------------------------------

read -r -a qt_flags <<<"$(pkg-config --cflags --libs Qt6Widgets)" || die "Qt 6 Widgets is missing (qt6-base-dev)"
read -r -a x11_flags <<<"$(pkg-config --cflags --libs x11)" || die "Xlib is missing (libx11-dev)"
g++ -O2 -fPIC -std=c++17 "$root/bench/bare_window.cpp" -o "$tmp/bare_window" "${qt_flags[@]}" ||
    die "the bare window did not build"

# Starts a program and writes "PID WINDOW MS" to REPORT when one of its
# windows first becomes viewable, then waits for the program to end. Driven by
# X events rather than polled tools, so that it costs next to nothing while
# the program starts.
g++ -O2 -std=c++17 -x c++ - -o "$tmp/mapwatch" "${x11_flags[@]}" <<'EOF' || die "the map watcher did not build"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/prctl.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t Child = 0;
volatile sig_atomic_t Stopping = 0;

// Asked to stop: the program goes first, so that we are the one to reap it.
void Forward(int)
{
    if (Child > 0)
        kill(Child, SIGTERM);
    Stopping = 1;
}

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Windows come and go while we look at them.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

long PidOf(Display* d, Window w, Atom atom)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1)
            pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

bool Viewable(Display* d, Window w)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.c_class == InputOutput && a.map_state == IsViewable;
}

// Without a reader (the script gone) the line is dropped rather than waited on.
void Report(const char* path, long pid, unsigned long window, double ms)
{
    const int fd = open(path, O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
        dprintf(fd, "%ld %lu %.1f\n", pid, window, ms);
        close(fd);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s REPORT PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        Report(argv[1], -1, 0, -1);
        return 2;
    }
    XSetErrorHandler(IgnoreErrors);
    const Window root = DefaultRootWindow(d);
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    // Listening before the program exists, so none of its windows is missed.
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);

    struct sigaction forward = {};
    forward.sa_handler = Forward;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &forward, nullptr);

    const double start = Now();
    const pid_t child = fork();
    if (child == 0) {
        close(ConnectionNumber(d));
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives its watcher
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    Child = child;

    std::set<Window> mapped;  // the program's windows mapped, maybe not yet viewable
    Window found = 0;
    bool ended = false;
    while (!found && !Stopping && Now() - start < 30000) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == CreateNotify && e.xcreatewindow.parent == root) {
                const Window w = e.xcreatewindow.window;
                XSelectInput(d, w, StructureNotifyMask);
                XWindowAttributes a;  // in case it was mapped before we listened
                if (XGetWindowAttributes(d, w, &a) && a.map_state != IsUnmapped && PidOf(d, w, pidAtom) == child)
                    mapped.insert(w);
            } else if (e.type == MapNotify && PidOf(d, e.xmap.window, pidAtom) == child) {
                mapped.insert(e.xmap.window);
            }
        }
        for (Window w : mapped)
            if (Viewable(d, w)) {
                found = w;
                break;
            }
        if (found)
            break;
        if (waitpid(child, nullptr, WNOHANG) == child) {
            ended = true;
            break;
        }
        // A mapped window turns viewable when the window manager maps its
        // frame, which we do not hear about: look again soon.
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(d), &fds);
        timeval wait{0, mapped.empty() ? 50000 : 1000};
        select(ConnectionNumber(d) + 1, &fds, nullptr, nullptr, &wait);
    }
    const double ms = Now() - start;
    XCloseDisplay(d);
    if (!found && !ended && !Stopping)
        kill(child, SIGKILL);
    Report(argv[1], child, found, found ? ms : -1);
    if (!ended)
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    return found ? 0 : 1;
}
EOF

# ---- A private session ------------------------------------------------------

mkdir -p "$tmp/home" "$tmp/run" "$tmp/pulse/run" "$tmp/pulse/state"
chmod 700 "$tmp/run" "$tmp/pulse/run"   # runtime folders must be private
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
export XDG_CACHE_HOME=$tmp/home/.cache XDG_STATE_HOME=$tmp/home/.local/state
export PULSE_SERVER=unix:$tmp/pulse/native PULSE_CLIENTCONFIG=$tmp/pulse/client.conf PULSE_COOKIE=$tmp/pulse/cookie
export PULSE_RUNTIME_PATH=$tmp/pulse/run PULSE_STATE_PATH=$tmp/pulse/state
# No session bus: nothing may reach (or autolaunch) one of the user's.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/no-bus
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY SESSION_MANAGER
echo "autospawn = no" >"$tmp/pulse/client.conf"

env -u PULSE_SERVER pulseaudio -n --daemonize=no --system=no --exit-idle-time=-1 --use-pid-file=no \
    --high-priority=no --realtime=no --log-target=stderr \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/pulse/native" \
    --load="module-null-sink sink_name=null" </dev/null >/dev/null 2>"$tmp/pulse/daemon.log" &
pulse_pid=$!
pids+=("$pulse_pid")
for ((i = 0; ; i++)); do
    pactl info >/dev/null 2>&1 && break
    if ! kill -0 "$pulse_pid" 2>/dev/null || ((i >= 100)); then
        tail -5 "$tmp/pulse/daemon.log" >&2
        die "PulseAudio did not come up"
    fi
    sleep 0.1
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" </dev/null >/dev/null 2>"$tmp/xvfb.log" &
pids+=("$!")
display=
for ((i = 0; i < 100; i++)); do
    read -r display 2>/dev/null <"$tmp/display" && [[ -n $display ]] && break
    sleep 0.1
done
[[ -n $display ]] || { tail -5 "$tmp/xvfb.log" >&2; die "Xvfb did not come up"; }
export DISPLAY=:$display

openbox --sm-disable </dev/null >"$tmp/openbox.log" 2>&1 &
pids+=("$!")
for ((i = 0; ; i++)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    ((i < 100)) || die "openbox did not come up"
    sleep 0.1
done

mkfifo "$tmp/report"
exec {report}<>"$tmp/report"   # read and write: opening never blocks

# ---- Measuring ------------------------------------------------------------------

names=("bare window")
programs=("$tmp/bare_window")
for ((g = 0; g < ${#games[@]}; g++)); do
    names+=("game $((g + 1))")
    programs+=("${games[g]}")
done
columns=${#programs[@]}

declare -A result   # "figure|column" -> text
declare -A starts   # column -> the start-up times in run order
for ((c = 0; c < columns; c++)); do starts[$c]=; done

now_us() { echo "${EPOCHREALTIME//[^0-9]/}"; }   # the decimal point varies with the locale

# Starts program $1 in a fresh folder. Sets run_pid, run_win, run_ms (exec to
# viewable window), run_watch (its watcher) and run_t0 (microseconds).
launch() {
    local dir
    dir=$(mktemp -d "$tmp/work.XXXXXX")
    run_pid='' run_win=0 run_ms=-1
    run_t0=$(now_us)
    (cd "$dir" && exec "$tmp/mapwatch" "$tmp/report" "$1") </dev/null >"$dir/output.log" 2>&1 &
    run_watch=$!
    pids+=("$run_watch")
    if ! read -r -t 40 -u "$report" run_pid run_win run_ms || [[ $run_win == 0 ]]; then
        warn "$1 showed no window (log: $(tail -c 300 "$dir/output.log" | tr '\n' ' '))"
        stop_run
        return 1
    fi
}

# Ends the program of the last launch and its watcher.
stop_run() {
    local i
    [[ -n $run_pid && $run_pid -gt 0 ]] && kill -TERM "$run_pid" 2>/dev/null
    for ((i = 0; i < 50; i++)); do
        kill -0 "$run_watch" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$run_watch" 2>/dev/null   # its program dies with it
    wait "$run_watch" 2>/dev/null
    forget "$run_watch"
}

# Sleeps until $1 seconds after the last launch.
sleep_until() {
    local left=$((run_t0 + $1 * 1000000 - $(now_us)))
    ((left > 0)) && sleep "$(awk -v us="$left" 'BEGIN { printf "%.3f", us / 1e6 }')"
}

activate() {
    timeout 10 xdotool windowactivate --sync "$run_win" >/dev/null 2>&1
    [[ $(xdotool getactivewindow 2>/dev/null) == "$run_win" ]] || warn "${names[$1]}: its window is not the active one; keys may go astray"
}

# Sets ctxt: the context switches of all threads of $1 so far.
ctxt_of() {
    local f key value
    ctxt=0
    for f in /proc/"$1"/task/*/status; do
        while read -r key value _; do
            [[ $key == voluntary_ctxt_switches: || $key == nonvoluntary_ctxt_switches: ]] && ((ctxt += value))
        done <"$f"
    done 2>/dev/null
}

# Sets ticks: the user and system CPU ticks of $1 so far (all its threads).
ticks_of() {
    local line fields
    ticks=0
    read -r line <"/proc/$1/stat" 2>/dev/null || return
    read -r -a fields <<<"${line##*) }"   # the name may hold spaces
    ticks=$((fields[11] + fields[12]))
}

# Measures WINDOW seconds of the running program of column $2 as scenario $1.
measure() {
    local c0 c1 u0 u1 p0 p1 t0 t1
    ctxt_of "$run_pid"; c0=$ctxt
    ticks_of "$run_pid"; u0=$ticks
    ticks_of "$pulse_pid"; p0=$ticks
    t0=$(now_us)
    sleep "$WINDOW"
    t1=$(now_us)
    ctxt_of "$run_pid"; c1=$ctxt
    ticks_of "$run_pid"; u1=$ticks
    ticks_of "$pulse_pid"; p1=$ticks
    if ! kill -0 "$run_pid" 2>/dev/null; then
        warn "${names[$2]} ended during the $1 measurement"
        return
    fi
    kill -0 "$pulse_pid" 2>/dev/null || die "PulseAudio stopped: $(tail -3 "$tmp/pulse/daemon.log")"
    local wakeups own sound both
    read -r wakeups own sound both < <(awk -v c=$((c1 - c0)) -v u=$((u1 - u0)) -v p=$((p1 - p0)) -v us=$((t1 - t0)) \
        -v tck="$tck" 'BEGIN {
        s = us / 1e6
        printf "%.1f %.1f %.1f %.1f\n", c / s, 100 * u / tck / s, 100 * p / tck / s, 100 * (u + p) / tck / s }')
    result["$1 wakeups/s|$2"]=$wakeups
    result["$1 CPU %|$2"]=$own
    result["$1 sound server CPU %|$2"]=$sound
    result["$1 CPU % with sound server|$2"]=$both
}

echo "idle_bench: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); display :$display; ${WINDOW} s per scenario"
for ((c = 0; c < columns; c++)); do echo "  ${names[c]}: ${programs[c]}"; done

echo "idle_bench: start-up (one unmeasured warm-up each, then $STARTS runs, order rotating)"
for ((c = 0; c < columns; c++)); do
    launch "${programs[c]}" && stop_run
done
for ((r = 0; r < STARTS; r++)); do
    for ((k = 0; k < columns; k++)); do
        c=$(((r + k) % columns))
        if launch "${programs[c]}"; then
            starts[$c]+="$run_ms "
            stop_run
        else
            starts[$c]+="- "
        fi
        sleep 0.3
    done
done
for ((c = 0; c < columns; c++)); do
    result["start to viewable window, median ms|$c"]=$(tr ' ' '\n' <<<"${starts[$c]}" | grep -v -e '^-$' -e '^$' |
        sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "-" }')
done

echo "idle_bench: idle for ${WINDOW} s, then Enter and P, paused for ${WINDOW} s"
for ((c = 0; c < columns; c++)); do
    launch "${programs[c]}" || continue
    activate "$c"
    sleep_until "$RSS_AT"
    if read -r _ rss _ < <(grep '^VmRSS:' "/proc/$run_pid/status" 2>/dev/null); then
        result["RSS at ${RSS_AT} s, MB|$c"]=$(awk -v kb="$rss" 'BEGIN { printf "%.1f", kb / 1024 }')
    fi
    measure idle "$c"
    xdotool key Return
    sleep 0.3
    xdotool key p
    sleep 1
    measure paused "$c"
    stop_run
done

echo "idle_bench: A (the autopilot) at ${RSS_AT} s, measured ${WINDOW} s from a second later"
for ((c = 0; c < columns; c++)); do
    launch "${programs[c]}" || continue
    activate "$c"
    sleep_until "$RSS_AT"
    xdotool key a
    sleep 1
    measure autopilot "$c"
    stop_run
done

# ---- Report ---------------------------------------------------------------------

rows=("start to viewable window, median ms" "RSS at ${RSS_AT} s, MB")
for scenario in idle paused autopilot; do
    rows+=("$scenario wakeups/s" "$scenario CPU %" "$scenario sound server CPU %" "$scenario CPU % with sound server")
done
echo
printf '%-38s' ""
for ((c = 0; c < columns; c++)); do printf '%14s' "${names[c]}"; done
echo
for row in "${rows[@]}"; do
    printf '%-38s' "$row"
    for ((c = 0; c < columns; c++)); do printf '%14s' "${result["$row|$c"]:--}"; done
    echo
done
echo
echo "start to viewable window, ms, each run in order:"
for ((c = 0; c < columns; c++)); do printf '  %-12s %s\n' "${names[c]}:" "${starts[$c]}"; done
