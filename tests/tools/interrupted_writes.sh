#!/bin/sh
# Writes that are cut short leave nothing behind.
#   kill:  imports killed at random moments, then one normal import into the
#          same folder: the folder holds the database and nothing else, and a
#          stale temporary of a writer killed long ago is gone as well.
#   convert-kill: conversions killed at random moments, then one normal
#          conversion: the folder holds the database and nothing else (a
#          conversion is checked in memory, so no scratch folder either).
#   limit: an import past the file size limit (ulimit -f) fails with exit 1
#          and "File too large" naming the target, and leaves nothing.
# Usage: interrupted_writes.sh CORVANE kill|convert-kill|limit
set -u
tool=$1
mode=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT INT TERM
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Some 15 MB of memos: long enough to write that a kill lands mid-write.
awk 'BEGIN {
  s = ""; for (i = 0; i < 3000; i++) s = s "x"
  printf "{\"app\":\"memo\",\"records\":["
  for (r = 0; r < 5000; r++) { if (r) printf ","; printf "{\"text\":\"%d %s\"}", r, s }
  print "]}"
}' >"$dir/in.json"
out="$dir/out"
mkdir "$out"

case $mode in
kill)
  i=0
  while [ $i -lt 20 ]; do
    "$tool" import --input "$dir/in.json" -o "$out/memo.pdb" 2>/dev/null &
    pid=$!
    sleep "$(awk -v seed="$$$i" 'BEGIN { srand(seed); printf "%.3f", rand() * 0.6 }')"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    i=$((i + 1))
  done
  # What a killed writer of an earlier version would have left, two days ago.
  : >"$out/.cvOld123"
  touch -d '2 days ago' "$out/.cvOld123"
  "$tool" import --input "$dir/in.json" -o "$out/memo.pdb" || fail "the normal import failed"
  left=$(ls -A "$out")
  [ "$left" = "memo.pdb" ] || fail "the folder holds: $left"
  "$tool" info "$out/memo.pdb" >/dev/null || fail "the database does not read"
  ;;
convert-kill)
  # An engine database of some 15 MB to convert.
  awk 'BEGIN {
    s = ""; for (i = 0; i < 3000; i++) s = s "x"
    printf "{\"fields\":[{\"name\":\"N\",\"type\":\"PSInt32\"},"
    printf "{\"name\":\"T\",\"type\":\"PSString\"}],\"records\":["
    for (r = 0; r < 5000; r++) { if (r) printf ","; printf "{\"N\":%d,\"T\":\"%s\"}", r, s }
    print "]}"
  }' >"$dir/ps.json"
  "$tool" import --engine pocketstudio --name Big --creator Test --type DATA \
    --input "$dir/ps.json" -o "$dir/ps.pdb" ||
    fail "the database to convert was not written"
  convert="--engine pocketstudio --field N:PSInt32 --field T:PSString --to java"
  i=0
  while [ $i -lt 12 ]; do
    "$tool" convert $convert "$dir/ps.pdb" -o "$out/java.pdb" 2>/dev/null &
    pid=$!
    sleep "$(awk -v seed="$$$i" 'BEGIN { srand(seed); printf "%.3f", rand() * 0.4 }')"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    left=$(ls -A "$out")
    [ -z "$left" ] || [ "$left" = "java.pdb" ] || fail "a killed conversion left: $left"
    i=$((i + 1))
  done
  "$tool" convert $convert "$dir/ps.pdb" -o "$out/java.pdb" ||
    fail "the normal conversion failed"
  left=$(ls -A "$out")
  [ "$left" = "java.pdb" ] || fail "the folder holds: $left"
  "$tool" info "$out/java.pdb" >/dev/null || fail "the database does not read"
  ;;
limit)
  status=0
  (ulimit -f 64 && exec "$tool" import --input "$dir/in.json" -o "$out/big.pdb") 2>"$dir/err" ||
    status=$?
  [ "$status" -eq 1 ] || fail "exit status $status, not 1: $(cat "$dir/err")"
  grep -q "File too large" "$dir/err" || fail "no reason given: $(cat "$dir/err")"
  grep -q "$out/big.pdb" "$dir/err" || fail "the target is not named: $(cat "$dir/err")"
  left=$(ls -A "$out")
  [ -z "$left" ] || fail "the folder holds: $left"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
exit 0
