#!/bin/bash
# Ctrl-C during a sweep of the klystron command, as a user presses it:
#  - one: no more points start, the running one finishes, the points done are
#    written and the exit status is 130; --resume then runs only the rest;
#  - two: the program ends at once, the journal keeps the points finished.
# Usage: interrupt-sweep.sh KLYSTRON DATA_DIR OUT_DIR
set -u
klystron=$1
data=$2
out=$3
. "$(dirname "$0")/script-common.sh"
# Waits up to 60 s until the journal in $1 holds $2 records.
await() {
  for _ in $(seq 1 1200); do
    [ "$(records "$1")" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
# Points of about a third of a second each, one at a time (run by the
# program itself in the background, so that the signals reach it).
sweep=(sweep "$data/one-cavity.json" --vary beam.inputPower=10:80:8 --max-passes 4000 --jobs 1)

# One Ctrl-C.
"$klystron" "${sweep[@]}" -o "$out/one" >"$out/one.out" 2>"$out/one.err" &
pid=$!
await "$out/one" 2 || { kill -9 $pid; fail "no two points done"; }
kill -INT $pid
wait $pid
status=$?
[ $status -eq 130 ] || fail "exit status $status after one Ctrl-C, not 130"
grep -q "interrupted: no more points start" "$out/one.err" || fail "no message on standard error"
done=$(records "$out/one")
rows=$(($(wc -l <"$out/one/sweep.csv") - 1))
[ "$rows" -eq "$done" ] && [ "$done" -lt 8 ] || fail "sweep.csv has $rows points, the journal $done"
grep -q "points did not run (interrupted): --resume runs them" "$out/one/summary.txt" || fail "the summary does not say so"
ls "$out/one" | grep -q '\.part$' && fail "a file was left half-written"

"$klystron" "${sweep[@]}" -o "$out/one" --resume >"$out/resume.out" 2>"$out/resume.err" || fail "the resumed sweep failed"
grep -q "resuming: $done of 8 points are in the journal" "$out/resume.err" || fail "the resumed sweep did not keep the points"
[ "$(records "$out/one")" -eq 8 ] || fail "the journal has $(records "$out/one") records after the resume, not 8"
[ $(($(wc -l <"$out/one/sweep.csv") - 1)) -eq 8 ] || fail "sweep.csv does not have every point"

# Two, while a point of seconds runs (after one of a few hundredths): at
# once, the journal kept.
"$klystron" sweep "$data/one-cavity.json" --vary simulation.maxIterations=400,100000 --jobs 1 -o "$out/two" \
  >"$out/two.out" 2>"$out/two.err" &
pid=$!
await "$out/two" 1 || { kill -9 $pid; fail "no point done"; }
kill -INT $pid
sleep 0.2
kill -INT $pid
wait $pid
status=$?
[ $status -eq 130 ] || fail "exit status $status after two Ctrl-C, not 130"
grep -q "stopped at once; the points finished are kept in" "$out/two.err" || fail "no message for the second Ctrl-C"
[ "$(records "$out/two")" -eq 1 ] || fail "the journal lost the point finished"
[ -e "$out/two/sweep.csv" ] && fail "files were written after the second Ctrl-C"
echo "interrupted sweeps behave"
exit 0
