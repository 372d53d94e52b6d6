import shutil
import subprocess

import pytest

import corvane
from conftest import SOURCE, corpus_files

PRC = [p for p in corpus_files() if p.suffix.lower() == ".prc" and not p.name.startswith("neg-")]
INTEROP = SOURCE / "tests" / "tools" / "interop"


@pytest.mark.parametrize("path", PRC, ids=lambda p: p.name)
def test_resource_databases_come_back_byte_for_byte(path, tmp_path):
    db = corvane.open(path)
    assert db.to_bytes() == path.read_bytes()
    out = tmp_path / "copy.prc"
    db.save(out)
    assert out.read_bytes() == path.read_bytes()
    # Renamed, the header takes the new name and everything else stays.
    db.name = "Renamed"
    again = corvane.open(db.to_bytes())
    assert again.name == "Renamed"
    assert [(r.type, r.id, r.data) for r in again] == [(r.type, r.id, r.data) for r in db]
    assert (again.app_info, again.sort_info) == (db.app_info, db.sort_info)


def build():
    db = corvane.Database.new("Written here", "appl", "PyRs", resource=True,
                              attributes={"backup", "bundle"}, app_info=b"app")
    for type_, id_, data in (("code", 0, bytes(range(12))), ("code", 1, b"\x4e\x75" * 40),
                             ("tSTR", 1000, b"Hello"), ("data", 0, b""), ("tSTR", 1000, b"twice")):
        db.append_resource(type_, id_, data)
    return db


def test_a_new_resource_database():
    image = build().to_bytes()
    # The type and ID given twice is written as given, and check() says so.
    assert [f.text for f in corvane.check(image)] == [
        "resource 4: its type and ID 1000 are also resource 2's"]
    db = corvane.open(image)
    assert db.is_resource and db.attributes == {"resource", "backup", "bundle"}
    assert [(r.type, r.id, r.data) for r in db][-2:] == [("data", 0, b""), ("tSTR", 1000, b"twice")]
    assert db.app_info == b"app"
    with pytest.raises(ValueError):
        db.append(b"a record")
    with pytest.raises(ValueError):
        corvane.Database.new("r", "DATA", "Test").append_resource("code", 0, b"")
    with pytest.raises(ValueError):
        build().append_resource("cod", 0, b"")
    with pytest.raises(ValueError):
        build().append_resource("code", 65536, b"")
    with pytest.raises(ValueError):
        corvane.Database.new("r", "appl", "Test", resource=True, categories=["A"])


@pytest.mark.skipif(shutil.which("perl") is None, reason="no perl")
def test_perl_reads_what_the_module_writes_and_back(tmp_path):
    if subprocess.run(["perl", "-MPalm::PDB", "-e", "1"], capture_output=True).returncode != 0:
        pytest.skip("Palm::PDB (libpalm-perl) is not installed")
    ours = tmp_path / "ours.prc"
    build().save(ours)
    listed = subprocess.run(["perl", INTEROP / "read_prc.pl", ours], capture_output=True, text=True,
                            check=True).stdout.splitlines()
    assert [(t, int(i), d) for t, i, _, _, d in (line.split() for line in listed)] == [
        (r.type, r.id, r.data.hex() or "-") for r in build()]
    theirs = tmp_path / "theirs.prc"
    subprocess.run(["perl", INTEROP / "write_prc.pl", theirs], check=True)
    db = corvane.open(theirs)
    assert db.name == "Written by Perl" and db.app_info == b"app"
    assert [(r.type, r.id) for r in db] == [("code", 0), ("code", 1), ("tSTR", 1000), ("data", 0),
                                            ("tver", 1)]
    assert db.to_bytes() == theirs.read_bytes()
