#!/usr/bin/env bash
# Runs the link library benchmark in a private network namespace, in both CPU placements:
# client and peer pinned to the same CPU, then to different CPUs.
# Usage: bench/linklib/run.sh [BUILD_DIR] [ROUND_TRIPS]   (build without sanitizers)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
n=${2:-20000}
exec "$root/scripts/netns-run.sh" bash -c '
  set -euo pipefail
  build=$1 n=$2
  for placement in "0 0 both ends on CPU 0" "0 1 client on CPU 0, peer on CPU 1"; do
    set -- $placement
    client=$1 peer=$2
    shift 2
    out=$(mktemp)
    taskset -c "$peer" "$build/bench/linklib/linklib_bench_peer" >"$out" &
    pid=$!
    for _ in $(seq 100); do grep -q ready "$out" && break; sleep 0.05; done
    taskset -c "$client" "$build/bench/linklib/linklib_bench" "$n" "$*"
    kill "$pid"; wait "$pid" 2>/dev/null || true
    rm -f "$out"
  done
' bench "$build" "$n"
