#!/usr/bin/env bash
# The web edition's figures, by hand (make web, and the Release build of the
# records server, the driver and replay_check_bench first):
#  - what a first visit transfers, compressed (gzip -9, as nginx sends it);
#  - time from navigation to the first drawn frame, and a 500-landing replay
#    played "to the end", in headless Chromium against a records server of
#    its own on 127.0.0.1;
#  - the replay check under Node beside the native one, on the same files,
#    measured in the same run.
# Usage: bench/web_bench.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
site=build-web/site
release=build
for need in "$site/vantorix2.wasm" "$release/server/vantorix2-records" "$release/tools/sim/vantorix2-sim" \
            "$release/bench/replay_check_bench"; do
  [ -e "$need" ] || { echo "web_bench: $need is missing (make web; cmake --build build --target vantorix2-records vantorix2-sim replay_check_bench)"; exit 1; }
done
work=$(mktemp -d)
server_pid=
trap '[ -n "$server_pid" ] && kill $server_pid 2>/dev/null; rm -rf "$work"' EXIT

echo "== transferred size (gzip -9)"
total=0
for file in "$site"/*; do
  raw=$(stat -c %s "$file")
  packed=$(gzip -9c "$file" | wc -c)
  total=$((total + packed))
  printf '  %-18s %8d bytes, %8d compressed\n' "$(basename "$file")" "$raw" "$packed"
done
printf '  total             %8d bytes compressed (%d KB; target 400 KB)\n' "$total" $((total / 1024))

echo "== a 500-landing replay in the page"
seed=1
while :; do
  rm -rf "$work/sim"
  out=$("$release/tools/sim/vantorix2-sim" play --seed $seed --games 1 --max-landings 500 --replays "$work/sim")
  line=${out%%$'\n'*}
  case "$line" in *'"landings":500,'*) break ;; esac
  seed=$((seed + 1))
done
score=$(echo "$line" | sed -E 's/.*"score":([0-9]+).*/\1/')
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$release/server/vantorix2-records" --listen 127.0.0.1:$port --db "$work/records.db" --web "$site" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$port/" >/dev/null && break; sleep 0.2; done
curl -fs "http://127.0.0.1:$port/datas/html/add.php?name=&self=&autopilot=$score" >/dev/null
curl -fs -X POST -H 'Content-Type: application/octet-stream' --data-binary @"$work/sim/game-1.vxr" \
  "http://127.0.0.1:$port/datas/html/replay.php?publisher=" >/dev/null
id=
for _ in $(seq 100); do
  id=$(curl -fs "http://127.0.0.1:$port/view.php?v=results" | grep -oE 'watch\.html\?id=[0-9]+' | head -1 | cut -d= -f2) || true
  [ -n "$id" ] && break
  sleep 0.2
done
[ -n "$id" ] || { echo "web_bench: the replay was not verified"; cat "$work/server.log"; exit 1; }
echo "  seed $seed: $line"
node bench/web_page_bench.js "http://127.0.0.1:$port/watch.html?id=$id" "$rounds"

echo "== the replay check: native beside wasm under Node (golden games of seed 1)"
"$release/tools/sim/vantorix2-sim" play --seed 1 --games 20 --max-landings 20000 --replays "$work/golden" >/dev/null
files=("$work"/golden/*.vxr)
check_rounds=10
native=$("$release/bench/replay_check_bench" $check_rounds "${files[@]}")
wasm=$(NODE_PATH=/usr/share/nodejs node --no-experimental-fetch tests/web/check_replays_timed.js \
       "$site/vantorix2.js" $check_rounds "${files[@]}")
echo "  native $native"
echo "  wasm   $wasm"
python3 -c "import json,sys; n=json.loads(sys.argv[1]); w=json.loads(sys.argv[2]); print(f'  wasm / native: {w[\"ms\"]/n[\"ms\"]:.2f}x (target 2x)')" "$native" "$wasm"
