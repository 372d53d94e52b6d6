import datetime
import os
import pathlib

import pytest

import corvane
from conftest import CORPUS, corpus_files, run_tool

FLAG_NAMES = ("secret", "busy", "dirty", "deleted")


@pytest.mark.parametrize("path", corpus_files(), ids=lambda p: p.name)
def test_corpus_agrees_with_the_command(path):
    if path.name.startswith("neg-"):
        with pytest.raises(corvane.Error) as caught:
            corvane.open(path)
        assert caught.value.code >= 1
        # The same bytes from memory are refused the same way.
        with pytest.raises(corvane.Error):
            corvane.open(path.read_bytes())
        return
    db = corvane.open(path)
    expected = run_tool("records", "--json", "--data", path)
    assert expected is not None, "the command refused a file the module read"
    assert len(db) == len(expected)
    for item, want in zip(db, expected):
        assert item.data == bytes.fromhex(want["data"])
        if db.is_resource:
            assert (item.type, item.id) == (want["type"], want["id"])
        else:
            assert item.category == want["category"]
            assert item.unique_id == want["uniqueID"]
            flags = {n for n in FLAG_NAMES if getattr(item, n)}
            assert flags == {"deleted" if f == "delete" else f for f in want["flags"]}
    info = run_tool("info", "--json", path)
    assert db.name == info["name"]
    assert (db.type, db.creator) == (info["type"], info["creator"])
    assert len(db.app_info) == info["appInfoSize"]
    assert len(db.sort_info) == info["sortInfoSize"]
    if not db.is_resource:
        want_categories = [(c["id"], c["name"]) for c in info["categories"] or []]
        assert db.categories == want_categories
    # Opening from bytes gives the same.
    again = corvane.open(path.read_bytes())
    assert [r.data for r in again] == [r.data for r in db]


def test_what_is_not_a_database_raises_cleanly(tmp_path):
    for junk in (b"", b"\0" * 77, b"x" * 200, bytes(range(256)) * 4):
        with pytest.raises(corvane.Error) as caught:
            corvane.open(junk)
        assert isinstance(caught.value.code, int)
        assert caught.value.path == "<bytes>"
    with pytest.raises(FileNotFoundError) as missing:
        corvane.open(tmp_path / "absent.pdb")
    assert missing.value.code == 4 and missing.value.filename.endswith("absent.pdb")
    with pytest.raises(TypeError):
        corvane.open(42)


def test_truncations_of_a_real_file_never_crash():
    files = [p for p in corpus_files() if not p.name.startswith("neg-")]
    if not files:
        pytest.skip("no corpus")
    data = files[0].read_bytes()
    for cut in range(0, min(len(data), 600), 7):
        try:
            corvane.open(data[:cut])
        except corvane.Error:
            pass
        corvane.check(data[:cut])


def build_sample():
    db = corvane.Database.new("Sample DB", "DATA", "Smpl",
                              created=datetime.datetime(2024, 5, 6, 7, 8, 9),
                              categories=["Unfiled", "Business", "Personal"])
    db.append(b"first", category=1, unique_id=0x123456)
    db.append(bytearray(b"second"), category=2, secret=True, dirty=True)
    db.append(memoryview(b""), busy=True)
    return db


def test_build_save_and_open_again(tmp_path):
    db = build_sample()
    target = tmp_path / "sample.pdb"
    db.save(target)
    back = corvane.open(target)
    assert (back.name, back.type, back.creator) == ("Sample DB", "DATA", "Smpl")
    assert back.created == datetime.datetime(2024, 5, 6, 7, 8, 9)
    assert "backup" in back.attributes and not back.is_resource
    assert [r.data for r in back] == [b"first", b"second", b""]
    assert [r.category for r in back] == [1, 2, 0]
    assert back[0].unique_id == 0x123456
    assert (back[1].secret, back[1].dirty, back[1].busy) == (True, True, False)
    assert back[-1].busy
    assert back.categories[:3] == [(0, "Unfiled"), (1, "Business"), (2, "Personal")]
    assert corvane.check(target) == []
    # Saving what was read gives the same bytes; to_bytes agrees with save.
    assert back.to_bytes() == target.read_bytes()
    with pytest.raises(IndexError):
        back[3]


def test_corpus_files_survive_a_round_trip(tmp_path):
    for path in corpus_files():
        if path.name.startswith("neg-"):
            continue
        db = corvane.open(path)
        if db.is_resource:
            back = corvane.open(db.to_bytes())
            assert [(r.type, r.id, r.data) for r in back] == [(r.type, r.id, r.data) for r in db]
            continue
        try:
            image = db.to_bytes()
        except corvane.Error:
            continue  # a header value the writer's checks refuse (e.g. a name)
        back = corvane.open(image)
        assert [(r.data, r.category, r.unique_id) for r in back if not r.deleted] == \
               [(r.data, r.category, r.unique_id) for r in db if not r.deleted], path.name
        assert back.app_info == db.app_info


def test_bad_arguments():
    db = corvane.Database.new("X", "DATA", "Test")
    with pytest.raises(ValueError):
        db.append(b"", category=16)
    with pytest.raises(ValueError):
        db.append(b"", unique_id=1 << 24)
    with pytest.raises(ValueError):
        db.append(b"x" * 65536)
    with pytest.raises(TypeError):
        db.append("text is not bytes")
    with pytest.raises(ValueError):
        corvane.Database.new("X", "TOOLONG", "Test")
    with pytest.raises(ValueError):
        corvane.Database.new("X", "DATA", "Test", attributes={"nonsense"})
    with pytest.raises(ValueError):
        corvane.Database.new("\u4e2d", "DATA", "Test")
    with pytest.raises(corvane.Error):  # the library's own check of the name
        corvane.Database.new("x" * 40, "DATA", "Test").to_bytes()
    assert len(db) == 0


def test_save_failure_leaves_the_earlier_file(tmp_path):
    target = tmp_path / "keep.pdb"
    build_sample().save(target)
    before = target.read_bytes()
    with pytest.raises(OSError):
        build_sample().save(tmp_path / "no such folder" / "x.pdb")
    bad = corvane.Database.new("x" * 40, "DATA", "Test")
    with pytest.raises(corvane.Error):
        bad.save(target)
    assert target.read_bytes() == before


def test_check_reports_damage(tmp_path):
    image = bytearray(build_sample().to_bytes())
    assert corvane.check(bytes(image)) == []
    image[78:82] = (len(image) + 100).to_bytes(4, "big")  # first record past the end
    findings = corvane.check(bytes(image))
    assert findings and not all(f.warning for f in findings)
    with pytest.raises(corvane.Error):
        corvane.open(bytes(image))


def test_records_are_named_tuples():
    db = build_sample()
    first = db[0]
    assert first == (b"first", 1, False, False, False, False, 0x123456)
    assert isinstance(first, corvane.Record)
    data, category, *_ = first
    assert (data, category) == (b"first", 1)
    assert list(db) == [db[0], db[1], db[2]]


def test_iteration_holds_the_database_and_sees_it_grow():
    db = corvane.Database.new("Grow", "DATA", "Test")
    for i in range(3):
        db.append(bytes([i]))
    it = iter(db)
    assert next(it).data == b"\0"
    db.append(b"late")
    del db
    assert [r.data for r in it] == [b"\1", b"\2", b"late"]
    assert list(it) == []
    with pytest.raises(TypeError):
        type(it)()
    resources = corvane.Database.new("R", "appl", "Test", resource=True)
    resources.append_resource("code", 1, b"x")
    assert [(r.type, r.id, r.data) for r in resources] == [("code", 1, b"x")]
