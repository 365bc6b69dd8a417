#!/usr/bin/env bash
# The program's CPU share over a real-time run: the headless runner runs a TV test on
# channels 1-3 against the simulator for 30 s (no time scaling) and bash's `time` reports
# the runner's user and system time against the wall time. An idle program between ticks
# uses a small fraction of one core.
# usage: bench/cpu_share.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
BUILD="${1:-build/release}"
SECONDS_RUN="${2:-30}"
SIM="$BUILD/tools/instrument/q7rk-instrument"
RUN="$BUILD/tools/runner/q7rk-run"
TMP="$(mktemp -d)"
trap 'kill $SIMPID 2>/dev/null || true; rm -rf "$TMP"' EXIT

"$SIM" --port 0 > "$TMP/sim.out" &
SIMPID=$!
for _ in $(seq 1 50); do grep -q READY "$TMP/sim.out" && break; sleep 0.1; done
PORT="$(sed -n 's/^LISTEN .*://p' "$TMP/sim.out")"

TIMEFORMAT="%U %S %R"
{ time "$RUN" --link "tcp:127.0.0.1:$PORT" --group 1-3 --max-seconds "$SECONDS_RUN" \
    > "$TMP/run.json" 2> /dev/null || true; } 2> "$TMP/time"
read -r user sys real < "$TMP/time"
awk -v u="$user" -v s="$sys" -v r="$real" 'BEGIN {
  printf "real-time run: wall %.1f s, user %.2f s, system %.2f s, CPU share %.2f %% of one core\n",
         r, u, s, 100 * (u + s) / r }'
