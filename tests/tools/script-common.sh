# What the command's shell tests share; sourced after they set $out.
rm -rf "$out"
mkdir -p "$out"

# Fails the test, printing what the command wrote.
fail() {
  echo "FAIL: $*"
  for f in "$out"/*.err "$out"/*.out; do [ -e "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

# Records in a sweep's journal (the header line aside).
records() { echo $(($(cat "$1/sweep-journal.txt" 2>/dev/null | wc -l) - 1)); }
