import pytest

import corvane
import corvane.apps
from conftest import corpus_files, run_tool

PIM = [p for p in corpus_files() if p.name.startswith("pim-")]


@pytest.mark.parametrize("path", PIM, ids=lambda p: p.name)
def test_decode_agrees_with_the_export(path):
    expected = run_tool("export", "--app", "auto", path)
    db = corvane.open(path)
    if expected is None:
        with pytest.raises(corvane.Error):
            corvane.apps.decode(db)
        return
    assert corvane.apps.decode(db) == expected["records"]


def test_decode_arguments():
    db = corvane.Database.new("MemoDB", "DATA", "memo")
    db.append(b"Shopping\nmilk\0")
    db.append(b"gone\0", deleted=True)
    rows = corvane.apps.decode(db)
    assert len(rows) == 1 and "Shopping\nmilk" in rows[0].values()
    with pytest.raises(ValueError):
        corvane.apps.decode(db, app="nonsense")
    with pytest.raises(ValueError):
        corvane.apps.decode(db, encoding="no-such-charset")


def command_text(*args):
    import subprocess
    from conftest import TOOL
    if TOOL is None:
        pytest.skip("CORVANE_TOOL not set")
    done = subprocess.run([TOOL, *map(str, args)], capture_output=True)
    return done.stdout.decode("utf-8") if done.returncode == 0 else None


def without_stamps(text):
    # DTSTAMP is the moment of the export.
    return [line for line in text.split("\r\n") if not line.startswith("DTSTAMP:")]


@pytest.mark.parametrize("path", PIM, ids=lambda p: p.name)
def test_vcard_and_ical_agree_with_the_export(path):
    db = corvane.open(path)
    for fmt, convert in (("vcard", corvane.apps.to_vcard), ("ical", corvane.apps.to_ical)):
        expected = command_text("export", "--app", "auto", "--format", fmt, path)
        if expected is None:
            with pytest.raises((ValueError, corvane.Error)):
                convert(db)
            continue
        assert without_stamps(convert(db)) == without_stamps(expected)
