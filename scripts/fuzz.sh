#!/usr/bin/env bash
# make fuzz: every fuzz target of tests/fuzz under libFuzzer (clang, with
# AddressSanitizer and UndefinedBehaviorSanitizer) for SECONDS each.
#
#   scripts/fuzz.sh [SECONDS]       (FUZZ_JOBS: targets run at once, default the cores)
#
# Each target works on its own copy of the committed corpus in
# build-fuzz/corpus/<name>, which keeps what it finds from run to run. Exits
# non-zero when any target crashes, leaks, times out or breaks an invariant;
# the input is kept in build-fuzz/artifacts/<name>/.
set -uo pipefail

seconds=${1:-60}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
targets=(records_file ini_profile sim_lines publish_query http_head replay_file)

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi

# The whole project configures (it needs Qt and the rest), but only the fuzz
# targets and the libraries they test are built.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
    -DVANTORIX_SANITIZE=ON -DVANTORIX_FUZZ=ON -DVANTORIX_BENCH=OFF >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; exit 2; }
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/%/_fuzz}" || exit 2

count() { find "$1" -maxdepth 1 -type f | wc -l; }

# One target; its log in build-fuzz/logs/<name>.log.
fuzz_one() {
    local name=$1
    local corpus=$build/corpus/$name artifacts=$build/artifacts/$name log=$build/logs/$name.log
    mkdir -p "$corpus" "$artifacts" "$build/logs"
    cp -n "$root/tests/fuzz/corpus/$name/"* "$corpus/"
    local dict=()
    [ -f "$root/tests/fuzz/$name.dict" ] && dict=(-dict="$root/tests/fuzz/$name.dict")
    count "$corpus" >"$log.before"
    rm -f "$log.status"
    # Absolute paths: the sim target works in a folder of its own.
    "$build/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" >"$log" 2>&1
    echo $? >"$log.status"
}

export -f fuzz_one count
export build root seconds

echo "fuzz.sh: ${#targets[@]} targets, ${seconds}s each, $jobs at a time"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one {}'

failed=0
printf '\n%-14s %8s %12s %8s %14s\n' target status executions exec/s corpus
for name in "${targets[@]}"; do
    log=$build/logs/$name.log
    status=$(cat "$log.status" 2>/dev/null || echo 1)
    runs=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: //p' "$log")
    printf '%-14s %8s %12s %8s %14s\n' "$name" "$([ "$status" = 0 ] && echo ok || echo FAILED)" \
        "${runs:-?}" "${speed:-?}" "$(cat "$log.before") -> $(count "$build/corpus/$name")"
    if [ "$status" != 0 ]; then
        failed=1
        grep -E "ERROR|SUMMARY|invariant broken|Test unit written" "$log" | head -5 | sed 's/^/    /'
        echo "    log: $log"
    fi
done

cat <<EOF

New inputs stay in $build/corpus/<target>. To add those that reach new code
to the committed corpus (replayed by CTest):
  $build/tests/fuzz/<target>_fuzz -merge=1 $root/tests/fuzz/corpus/<target> $build/corpus/<target>
To replay a crash: $build/tests/fuzz/<target>_fuzz $build/artifacts/<target>/crash-...
EOF
exit $failed
