#!/bin/sh
# rescue over bad input: a file that may not be read, a folder that may not be
# opened, and an output disk that fills up (ulimit -f). Each is reported in
# rescue.json, the other files are still rescued, and nothing under the input
# changes. Run as root, the rescue itself runs as nobody, for whom the
# permissions hold.
# Usage: bad_input.sh CORVANE CORPUS_DIR
set -u
tool=$1
corpus=$2
[ -d "$corpus" ] || { echo "no corpus: skipped"; exit 0; }
dir=$(mktemp -d)
trap 'chmod -R u+rwx "$dir" 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}
if [ "$(id -u)" -eq 0 ] && ! command -v setpriv >/dev/null; then
  echo "root without setpriv: the permissions would not hold; skipped"
  exit 0
fi
chmod 755 "$dir"
in="$dir/in"
mkdir -p "$in/locked"
cp "$corpus/pim-MemoDB-Treo.pdb" "$corpus/pim-AddressDB-LifeDrive.pdb" "$corpus/jfile-locus-poll.pdb" "$in/"
cp "$corpus/pim-ToDoDB-secret.pdb" "$in/secret.pdb"
cp "$corpus/pim-MailDB.pdb" "$in/locked/"
chmod 000 "$in/secret.pdb"
chmod 000 "$in/locked"
listing() { (cd "$in" && find . -exec ls -ld {} + | awk '{print $1, $5, $NF}' && chmod -R u+r . 2>/dev/null; find . -type f | sort | xargs sha256sum); }
before=$(listing)
chmod 000 "$in/secret.pdb"
chmod 000 "$in/locked"

mkdir "$dir/outs"
chmod 777 "$dir/outs"

# 1. Unreadable file and folder: both reported, the rest rescued, exit 3.
status=0
as_user "$tool" rescue "$in" -o "$dir/outs/one" -j 2 2>"$dir/err1" || status=$?
[ "$status" -eq 3 ] || fail "exit status $status, not 3: $(cat "$dir/err1")"
python3 - "$dir/outs/one/rescue.json" <<'PY' || fail "report 1"
import json, sys
r = json.load(open(sys.argv[1]))
by = {f["input"].rsplit("/", 1)[-1]: f for f in r["files"]}
assert by["secret.pdb"]["status"] == "unreadable", by["secret.pdb"]
assert by["secret.pdb"]["error"]["message"], by["secret.pdb"]
assert by["locked"]["status"] == "unreadable" and by["locked"]["kind"] == "folder", by["locked"]
assert by["pim-MemoDB-Treo.pdb"]["status"] == "rescued"
assert by["jfile-locus-poll.pdb"]["status"] == "rescued"
assert r["totals"]["failed"] == 2, r["totals"]
PY

# 2. A full disk: what does not fit is reported, no half file is left under a
# finished name, and the report is still written.
status=0
(ulimit -f 64 && as_user "$tool" rescue "$in" -o "$dir/outs/two" -j 1) 2>"$dir/err2" || status=$?
[ "$status" -eq 3 ] || fail "exit status $status, not 3: $(cat "$dir/err2")"
python3 - "$dir/outs/two/rescue.json" <<'PY' || fail "report 2"
import json, sys
r = json.load(open(sys.argv[1]))
by = {f["input"].rsplit("/", 1)[-1]: f for f in r["files"]}
big = by["jfile-locus-poll.pdb"]
assert big["status"] == "failed", big
assert "full" in big["error"]["message"], big
assert "too large" in big["error"]["detail"], big
assert big["original"] is None, big
assert by["pim-MemoDB-Treo.pdb"]["status"] == "rescued", by["pim-MemoDB-Treo.pdb"]
PY
left=$(find "$dir/outs/two" -name '.corvane-partial*')
[ -z "$left" ] || fail "temporary files left: $left"
[ ! -e "$dir/outs/two/originals/jfile-locus-poll.pdb" ] || fail "a half original under its name"

# Nothing under the input changed.
after=$(listing)
[ "$before" = "$after" ] || fail "the input changed"
echo ok
