#!/usr/bin/env python3
"""rescue of the shared corpus, checked against the files: every input is in
rescue.json with its size and SHA-256, every Palm database is accounted for,
every neg-* file is no Palm database (or failed, with its reason), each
original is byte for byte the input, the built-in applications' counts equal
export --app's, and every .vcf and .ics parses with an independent parser
(python3-vobject, python3-icalendar) and holds the counted entries.

Usage: check_corpus.py CORVANE CORPUS_DIR
Exit 77 (skipped) without the corpus or the parsers."""
import hashlib
import json
import os
import subprocess
import sys
import tempfile

SKIP = 77


def main():
    tool, corpus = sys.argv[1], sys.argv[2]
    if not os.path.isdir(corpus):
        print("no corpus: skipped")
        return SKIP
    try:
        import icalendar
        import vobject
    except ImportError:
        print("python3-vobject or python3-icalendar missing: skipped")
        return SKIP
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out")
        run = subprocess.run([tool, "rescue", corpus, "-o", out, "-j", "2"],
                             capture_output=True, text=True)
        assert run.returncode in (0, 3), (run.returncode, run.stderr)
        report = json.load(open(os.path.join(out, "rescue.json"), encoding="utf-8"))
        by_name = {os.path.basename(f["input"]): f for f in report["files"]}
        names = sorted(n for n in os.listdir(corpus) if os.path.isfile(os.path.join(corpus, n)))
        assert sorted(by_name) == names, (sorted(by_name), names)
        assert report["totals"]["files"] == len(names)

        def export_count(path, fmt, marker):
            r = subprocess.run([tool, "export", "--format", fmt, path], capture_output=True)
            return r.stdout.count(marker) if r.returncode in (0, 3) else None

        totals = {"contacts": 0, "events": 0, "todos": 0}
        for name in names:
            f = by_name[name]
            path = os.path.join(corpus, name)
            data = open(path, "rb").read()
            assert f["size"] == len(data), name
            assert f["sha256"] == hashlib.sha256(data).hexdigest(), name
            assert open(os.path.join(out, f["original"]), "rb").read() == data, name
            if name.startswith("neg-"):
                assert f["status"] in ("not-palm", "failed"), (name, f["status"])
                if f["status"] == "failed":
                    assert f["error"]["message"] and f["error"]["detail"], name
                else:
                    assert f["kind"] == "not-palm", name
            elif name.endswith((".pdb", ".prc")):
                assert f["kind"] != "not-palm", name
                assert f["status"] in ("rescued", "partial"), (name, f["status"], f["error"])
            for o in f["outputs"]:
                target = os.path.join(out, o["path"])
                assert os.path.exists(target), o
                if o["format"] == "vcf":
                    cards = list(vobject.readComponents(open(target, encoding="utf-8").read()))
                    assert len(cards) == f["counts"].get("contacts", 0), (name, len(cards))
                    assert export_count(path, "vcard", b"BEGIN:VCARD") == len(cards), name
                    totals["contacts"] += len(cards)
                if o["format"] == "ics":
                    cal = icalendar.Calendar.from_ical(open(target, "rb").read())
                    events = len(cal.walk("VEVENT"))
                    todos = len(cal.walk("VTODO"))
                    assert events == f["counts"].get("events", 0), (name, events)
                    assert todos == f["counts"].get("todos", 0), (name, todos)
                    assert export_count(path, "ical", b"BEGIN:VEVENT") == events, name
                    assert export_count(path, "ical", b"BEGIN:VTODO") == todos, name
                    totals["events"] += events
                    totals["todos"] += todos
            if f["kind"] in ("jfile", "mobiledb"):
                # The same CSV as export's.
                csv = [o for o in f["outputs"] if o["format"] == "csv"][0]["path"]
                r = subprocess.run([tool, "export", "--format", "csv", path], capture_output=True)
                assert r.returncode == 0 and open(os.path.join(out, csv), "rb").read() == r.stdout, name
            if f["kind"] == "resource" and f["status"] == "rescued":
                # The folder is export --resources': import builds the same file.
                folder = [o for o in f["outputs"] if o["format"] == "folder"][0]["path"]
                back = os.path.join(tmp, "back.prc")
                r = subprocess.run([tool, "import", "--resources",
                                    os.path.join(out, folder, "resources.json"), "-o", back],
                                   capture_output=True, text=True)
                assert r.returncode == 0, (name, r.stderr)
                assert open(back, "rb").read() == data, name
                os.unlink(back)
            if f["kind"] in ("memo", "memos"):
                r = subprocess.run([tool, "export", "--format", "json", path], capture_output=True)
                records = json.loads(r.stdout)["records"]
                shown = [x for x in records if not x.get("deleted") and not x.get("archived")]
                assert f["counts"].get("memos", 0) == len(shown), (name, f["counts"], len(shown))
        tables = [f for f in report["files"] if f["counts"].get("tables")]
        if tables:
            import sqlite3
            joined = [o for o in report["outputs"] if o["format"] == "sqlite"]
            assert joined and joined[0]["path"] == "tables.sqlite", report["outputs"]
            db = sqlite3.connect(os.path.join(out, "tables.sqlite"))
            for f in tables:
                stem = os.path.splitext(os.path.basename(
                    [o for o in f["outputs"] if o["format"] == "csv"][0]["path"]))[0]
                n = db.execute('select count(*) from "%s"' % stem.replace('"', '""')).fetchone()[0]
                assert n == f["counts"]["rows"], (stem, n, f["counts"])
            db.close()
        for key in totals:
            assert report["totals"][key] == totals[key], (key, report["totals"][key], totals[key])
        if totals["contacts"]:
            joined = list(vobject.readComponents(
                open(os.path.join(out, "contacts.vcf"), encoding="utf-8").read()))
            assert len(joined) == totals["contacts"]
        if totals["events"] or totals["todos"]:
            cal = icalendar.Calendar.from_ical(open(os.path.join(out, "calendar.ics"), "rb").read())
            assert len(cal.walk("VEVENT")) == totals["events"]
            assert len(cal.walk("VTODO")) == totals["todos"]
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
