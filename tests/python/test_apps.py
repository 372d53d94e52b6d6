import datetime
import json

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
    # The deleted record is kept without values, as the command's JSON keeps it.
    assert len(rows) == 2 and "Shopping\nmilk" in rows[0].values()
    assert rows[1]["deleted"] is True and "text" not in rows[1]
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


def run_command(*args):
    import subprocess
    from conftest import TOOL
    if TOOL is None:
        pytest.skip("CORVANE_TOOL not set")
    return subprocess.run([TOOL, *map(str, args)], capture_output=True)


def header_of(db):
    return dict(name=db.name, type=db.type, creator=db.creator, attributes=db.attributes,
                version=db.version, created=db.created, modified=db.modified,
                backed_up=db.backed_up, modification_number=db.modification_number,
                unique_id_seed=db.unique_id_seed)


@pytest.mark.parametrize("path", PIM, ids=lambda p: p.name)
def test_encode_writes_what_the_import_writes(path, tmp_path):
    done = run_command("export", "--app", "auto", path)
    if done.returncode != 0:
        return
    # Python carries header dates as datetimes: a "no date" the file stored as
    # another value than 0 is written as 0, so the command's copy does the same.
    document = json.loads(done.stdout)
    header = document.get("database", {})
    for key in ("created", "modified", "backedUp"):
        if header.get(key) is None:
            header.pop(key + "Stored", None)
    exported = tmp_path / "export.json"
    exported.write_text(json.dumps(document), encoding="utf-8")
    imported = tmp_path / "import.pdb"
    assert run_command("import", "--input", exported, "-o", imported).returncode == 0
    db = corvane.open(path)
    rows = corvane.apps.decode(db)
    info = corvane.apps.decode_app_info(db)
    app = json.loads(exported.read_text(encoding="utf-8"))["app"]
    built = corvane.apps.encode(app, rows, app_info=info, **header_of(db))
    assert built.to_bytes() == imported.read_bytes()
    assert corvane.apps.decode(built) == rows


def test_encode_keeps_deleted_and_archived_records_and_numbers_the_rest():
    db = corvane.Database.new("MemoDB", "DATA", "memo")
    db.append(b"kept\0", unique_id=7)
    db.append(b"", deleted=True, unique_id=8)
    db.append(b"archived\0", deleted=True, category=8 | 1, unique_id=9)
    again = corvane.open(db.to_bytes())
    # An archived record keeps its bytes through reading and writing.
    assert [r.data for r in again] == [b"kept\0", b"", b"archived\0"]
    rows = corvane.apps.decode(again)
    assert rows[1]["deleted"] is True and rows[2]["archived"] is True
    built = corvane.apps.encode("memo", rows + [{"text": "new one"}], unique_id_seed=100)
    assert [r.unique_id for r in built] == [7, 8, 9, 100]
    assert [r.data for r in built][:3] == [b"kept\0", b"", b"archived\0"]
    assert (built.name, built.type, built.creator) == ("MemoDB", "DATA", "memo")
    assert built.attributes == {"backup"}


def test_encode_refuses_what_the_import_refuses():
    with pytest.raises(ValueError, match="unknown application"):
        corvane.apps.encode("spreadsheet", [])
    with pytest.raises(corvane.Error, match="record 0"):
        corvane.apps.encode("todo", [{"description": "x", "nonsense": 1}])
    with pytest.raises(corvane.Error):
        corvane.apps.encode("memo", [{"text": "a", "uniqueID": 5}, {"text": "b", "uniqueID": 5}])
    # lenient: the import's warnings instead of refusals.
    assert len(corvane.apps.encode("memo", [{"text": "a", "uniqueID": 5},
                                            {"text": "b", "uniqueID": 5}], lenient=True)) == 2
    with pytest.raises(TypeError):
        corvane.apps.encode("memo", [{"text": object()}])
    with pytest.raises(TypeError):
        corvane.apps.encode("memo", "not a list")
    with pytest.raises(ValueError, match="name"):
        corvane.apps.encode("memo", [], name="\u4e2d")
    with pytest.raises(ValueError):
        corvane.apps.encode("raw", [{"data": "00"}])  # a raw database names its creator
    built = corvane.apps.encode("memo", [], name="Notes", created=datetime.datetime(1985, 1, 2),
                                attributes=set())
    assert built.created == datetime.datetime(1985, 1, 2) and built.attributes == set()


@pytest.mark.parametrize("compress", [True, False])
def test_e_book_text_agrees_with_the_command(compress, tmp_path):
    text = "Chapter 1\n\n" + "Über the hills, again and again. " * 700 + "\nThe end.\n"
    book = corvane.apps.write_text(text, "Hills", compress=compress)
    assert corvane.apps.read_text(book) == text
    assert (book.type, book.creator, book.name) == ("TEXt", "REAd", "Hills")
    assert len(book) == 1 + -(-len(text.encode("cp1252")) // 4096)
    if compress:
        assert sum(len(r.data) for r in book) < len(text) // 2
    path = tmp_path / "Hills.pdb"
    book.save(path)
    assert command_text("export", "--app", "doc", "--format", "text", path) == text
    source = tmp_path / "book.txt"
    source.write_text(text, encoding="utf-8")
    made = tmp_path / "made.pdb"
    assert run_command("import", "--app", "doc", "--input", source, "--name", "Hills",
                       "-o", made).returncode == 0
    if compress:
        # The same records as the command's; the header's dates are the moment of writing.
        assert [r.data for r in corvane.open(made)] == [r.data for r in book]
    with pytest.raises(TypeError):
        corvane.apps.write_text(b"bytes", "x")
    with pytest.raises(ValueError):
        corvane.apps.write_text("x", "")


def test_read_text_refuses_what_is_no_book():
    for path in [p for p in corpus_files() if p.name.startswith(("doc-", "pim-"))]:
        db = corvane.open(path)
        expected = command_text("export", "--app", "doc", "--format", "text", path)
        if expected is None:
            with pytest.raises((corvane.Error, ValueError)):
                corvane.apps.read_text(db)
        else:
            assert corvane.apps.read_text(db) == expected
    book = corvane.apps.write_text("x" * 5000, "B")
    cut = corvane.Database.new("B", "TEXt", "REAd")
    cut.append(book[0].data)  # the header says two text records; none follow
    with pytest.raises(corvane.Error):
        corvane.apps.read_text(cut)
