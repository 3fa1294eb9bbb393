#!/bin/bash
# Ctrl-C during a run of the klystron command, as a user presses it:
#  - one: the run stops after its pass, writes the passes done marked as
#    interrupted over the files of an earlier run, and exits with 130;
#  - two: the program ends at once, mid-pass, and writes nothing.
# Usage: interrupt-command.sh KLYSTRON DATA_DIR OUT_DIR
set -u
klystron=$1
data=$2
out=$3
. "$(dirname "$0")/script-common.sh"
# Waits up to 60 s for the pattern in the file.
await() {
  for _ in $(seq 1 1200); do
    grep -q "$1" "$2" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

"$klystron" run "$data/one-cavity.json" -o "$out/run" >/dev/null 2>"$out/first.err" || fail "the first run failed"
grep -q '"completed": true' "$out/run/results.json" || fail "the first run is not marked completed"

# One Ctrl-C.
"$klystron" run "$data/one-cavity.json" --max-passes 1000000 -o "$out/run" >"$out/one.out" 2>"$out/one.err" &
pid=$!
await "simulation pass 3/" "$out/one.err" || { kill -9 $pid; fail "no third pass"; }
kill -INT $pid
wait $pid
status=$?
[ $status -eq 130 ] || fail "exit status $status after one Ctrl-C, not 130"
grep -q "interrupted: stopping after this pass" "$out/one.err" || fail "no message on standard error"
results="$out/run/results.json"
grep -q '"completed": false' "$results" || fail "results.json is not marked as interrupted"
grep -q '"maxIterations": 1000000' "$results" || fail "results.json is not this run's"
passes=$(sed -n 's/^ *"simulatedIterations": \([0-9]*\),$/\1/p' "$results")
[ -n "$passes" ] && [ "$passes" -ge 3 ] && [ "$passes" -lt 1000000 ] || fail "simulatedIterations '$passes'"
rows=$(($(wc -l <"$out/run/passes.csv") - 1))
[ "$rows" -eq "$passes" ] || fail "passes.csv has $rows passes, results.json $passes"
grep -q "interrupted after pass $passes" "$out/run/summary.txt" || fail "the summary does not say so"
grep -q "interrupted after pass $passes" "$out/one.out" || fail "the printed summary does not say so"
ls "$out/run" | grep -q '\.part$' && fail "a file was left half-written"

# Two, while a pass of seconds is on.
"$klystron" run "$data/long-passes.json" --threads 1 -o "$out/long" >"$out/two.out" 2>"$out/two.err" &
pid=$!
await "simulation pass 1/" "$out/two.err" || { kill -9 $pid; fail "no first pass"; }
kill -INT $pid
sleep 0.2
kill -INT $pid
wait $pid
status=$?
[ $status -eq 130 ] || fail "exit status $status after two Ctrl-C, not 130"
grep -q "stopped at once; nothing of this run was written" "$out/two.err" || fail "no message for the second Ctrl-C"
grep -q "simulation pass 2/20: convergence" "$out/two.err" && fail "the pass went on after the second Ctrl-C"
[ -e "$out/long/results.json" ] && fail "results were written after the second Ctrl-C"
echo "interrupted runs behave"
exit 0
