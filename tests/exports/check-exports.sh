#!/usr/bin/env bash
# usage: check-exports.sh LIBRARY GENERATED_HEADER JAR JAVAP [EXPECTED_COUNT]
set -euo pipefail
lib=$1 header=$2 jar=$3 javap=$4 expected_count=${5:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# What the Java class declares: its native methods, and the JNI names javac made for them.
declared=$("$javap" -p -cp "$jar" quenvar.klystron.Klystron | grep -c ' native ' || true)
grep -oE 'JNICALL +Java_[A-Za-z0-9_]+' "$header" | awk '{print $2}' | sort >"$tmp/expected"
# What the library exports: every defined dynamic symbol.
nm -D --defined-only "$lib" | awk '{print $NF}' | sort >"$tmp/exported"

status=0
if [ "$declared" -ne "$(wc -l <"$tmp/expected")" ]; then
  echo "the class declares $declared native methods but the header names $(wc -l <"$tmp/expected")"
  status=1
fi
if ! diff -u "$tmp/expected" "$tmp/exported" >"$tmp/diff"; then
  echo "exported symbols differ from the declared native methods (- missing, + unexpected):"
  grep -E '^[-+][^-+]' "$tmp/diff" || true
  status=1
fi
if [ -n "$expected_count" ] && [ "$declared" -ne "$expected_count" ]; then
  echo "the class declares $declared native methods; the complete interface has $expected_count"
  status=1
fi
for overload in setOperatingParameters__DDDDDD setOperatingParameters__DDDDDDDD; do
  grep -qx "Java_quenvar_klystron_Klystron_$overload" "$tmp/exported" || {
    echo "missing overload export $overload"
    status=1
  }
done
[ $status -eq 0 ] && echo "OK: $declared native methods, $(wc -l <"$tmp/exported") exported symbols"
exit $status
