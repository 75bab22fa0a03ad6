#!/usr/bin/env bash
# Runs kvsh RUNS times against a simulated controller that loses or spoils replies, and fails
# when a run crashes, is reported by a sanitizer, or ends with a status other than done (0),
# refused (1) or no answer (3). Meant for a private network namespace (fixed UDP ports).
# Usage: faulty_runs.sh KVSH KVS_DEVSIM [RUNS] [FAULTS]
set -u
kvsh=$1 devsim=$2 runs=${3:-20} faults=${4:-drop=0.05}
log=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$log"' EXIT
"$devsim" --faults "$faults" 2>"$log/devsim.err" &
sim=$!
sleep 0.5
failed=0
declare -A seen=()
for i in $(seq 1 "$runs"); do
  "$kvsh" --udp 127.0.0.1 --timeout 2 tree >"$log/out" 2>"$log/err"
  code=$?
  seen[$code]=$(( ${seen[$code]:-0} + 1 ))
  if grep -qE 'Sanitizer|runtime error' "$log/err" || ! [[ $code =~ ^(0|1|3)$ ]]; then
    echo "run $i: status $code"
    cat "$log/err"
    failed=1
  fi
done
if ! kill -0 "$sim" 2>/dev/null; then
  echo "the simulated controller ended early:"
  cat "$log/devsim.err"
  failed=1
fi
echo "faults $faults, $runs runs; statuses: $(for c in "${!seen[@]}"; do printf '%s:%s ' "$c" "${seen[$c]}"; done)"
exit $failed
