import datetime
import decimal
import json
import math

import pytest

import corvane
from conftest import SOURCE, run_tool

SAMPLES = SOURCE / "samples"
ENGINES = ("appforge", "generic", "java", "nsbasic", "pocketstudio", "sqldriver")


def as_json(value):
    """A value as the command's JSON export writes it."""
    if isinstance(value, datetime.datetime):
        return value.isoformat(timespec="seconds")
    if isinstance(value, datetime.time):
        return value.isoformat(timespec="seconds")
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, bytes):
        return value.hex()
    if isinstance(value, decimal.Decimal):
        return float(value)
    if isinstance(value, float) and not math.isfinite(value):
        return "NaN" if math.isnan(value) else ("Infinity" if value > 0 else "-Infinity")
    return value


def sample(engine):
    with open(SAMPLES / f"{engine}.json", encoding="utf-8") as f:
        return json.load(f)


def read_sample(engine, source=None):
    fields = None if engine == "appforge" else sample(engine)["fields"]
    return corvane.engines.read(source or SAMPLES / f"{engine}.pdb", engine, fields)


def header_arguments(engine, doc):
    db = doc["database"]
    when = lambda text: None if text is None else datetime.datetime.fromisoformat(text)
    args = dict(name=db["name"], type=db["type"], creator=db["creator"],
                attributes=db["attributes"], version=db["version"], created=when(db["created"]),
                modified=when(db["modified"]), backed_up=when(db["backedUp"]),
                modification_number=db["modificationNumber"], unique_id_seed=db["uniqueIDSeed"])
    if db.get("categories"):
        args["categories"] = [(c["id"], c["name"]) for c in db["categories"]]
    # AppForge and Java build their own application-info block.
    if doc["appInfo"] and engine not in ("appforge", "java"):
        args["app_info"] = bytes.fromhex(doc["appInfo"])
    if doc["sortInfo"]:
        args["sort_info"] = bytes.fromhex(doc["sortInfo"])
    return args


@pytest.mark.parametrize("engine", ENGINES)
def test_read_agrees_with_the_export(engine):
    doc = sample(engine)
    args = ["export", "--engine", engine, "--format", "json"]
    if engine != "appforge":
        for f in doc["fields"]:
            args += ["--field", f"{f['name']}:{f['type']}:{f['size']}"]
    exported = run_tool(*args, SAMPLES / f"{engine}.pdb")
    assert exported is not None
    rows = read_sample(engine)
    assert [{k: as_json(v) for k, v in row.items()} for row in rows] == exported["records"]
    # From the file's bytes the same.
    assert read_sample(engine, (SAMPLES / f"{engine}.pdb").read_bytes()) == rows


@pytest.mark.parametrize("engine", ENGINES)
def test_write_gives_back_the_sample_byte_for_byte(engine, tmp_path):
    doc = sample(engine)
    rows = read_sample(engine)
    want = (SAMPLES / f"{engine}.pdb").read_bytes()
    out = tmp_path / f"{engine}.pdb"
    assert corvane.engines.write(out, engine, doc["fields"], rows, **header_arguments(engine, doc)) is None
    assert out.read_bytes() == want
    image = corvane.engines.write(None, engine, doc["fields"], rows, **header_arguments(engine, doc))
    if engine == "appforge":
        # AppForge names the header after the file; in memory after the table.
        assert image[:32] == doc["database"]["name"].encode().ljust(32, b"\0")
        image = want[:32] + image[32:]
    assert image == want
    # Rows as sequences of values (without the SQL Driver's RowID) write the same records.
    names = [f["name"] for f in doc["fields"] if not (engine == "sqldriver" and f["name"] == "RowID")]
    plain = [[row[n] for n in names] for row in rows]
    again = corvane.engines.write(None, engine, doc["fields"], plain, **header_arguments(engine, doc))
    assert corvane.engines.read(again, engine, None if engine == "appforge" else doc["fields"]) == rows


def test_attributes_and_values_round_trip():
    fields = [("Name", "PSString"), ("Code", "PSString", 6), ("Day", "PSDate"), ("At", "PSTime"),
              ("Blob", "PSBinary"), ("Ok", "PSBoolean")]
    rows = [
        {"Name": "Zoë €", "Code": "AB", "Day": datetime.date(2024, 2, 29),
         "At": datetime.time(13, 45), "Blob": b"\0\xff", "Ok": True, "category": 3,
         "flags": ["secret", "dirty"], "uniqueID": 0x123456},
        {"Name": "", "Code": "", "Day": None, "At": datetime.time(0, 0), "Blob": b"", "Ok": False},
    ]
    image = corvane.engines.write(None, "pocketstudio", fields, rows, name="T", type="DATA",
                                  creator="Test")
    back = corvane.engines.read(image, "pocketstudio", fields)
    assert back == [rows[0], dict(rows[1], category=0, flags=[], uniqueID=0)]
    db = corvane.open(image)
    assert (db[0].category, db[0].secret, db[0].dirty, db[0].unique_id) == (3, True, True, 0x123456)
    # Amounts go in exactly from Decimal and text, and come back as Decimal.
    fields = [("Price", "AFCurrency"), ("When", "AFDate")]
    amounts = [decimal.Decimal("12.3456"), "-0.0001", 7, 2.5]
    image = corvane.engines.write(
        None, "appforge", fields,
        [{"Price": a, "When": datetime.datetime(2001, 2, 3, 4, 5, 6)} for a in amounts],
        name="T", type="DATA", creator="Test")
    back = corvane.engines.read(image, "appforge")
    assert [r["Price"] for r in back] == [decimal.Decimal(str(a)) for a in amounts]
    assert back[0]["When"] == datetime.datetime(2001, 2, 3, 4, 5, 6)


def test_write_refuses_what_the_record_would_not_keep():
    fields = [("N", "PSInt16"), ("S", "PSString", 4)]
    write = lambda rows, **kw: corvane.engines.write(None, "pocketstudio", fields, rows, name="T",
                                                     type="DATA", creator="Test", **kw)
    with pytest.raises(ValueError, match="record 0, field 'N'"):
        write([{"N": 40000, "S": "a"}])
    with pytest.raises(ValueError, match="record 1"):
        write([{"N": 1, "S": "a"}, {"N": 1, "S": "much too long"}])
    with pytest.raises(TypeError, match="field 'N'"):
        write([{"N": "1", "S": "a"}])
    with pytest.raises(ValueError, match="no value for field 'S'"):
        write([{"N": 1}])
    with pytest.raises(ValueError, match="'X' is no field"):
        write([{"N": 1, "S": "", "X": 2}])
    with pytest.raises(ValueError):
        write([{"N": 1, "S": "", "category": 16}])
    with pytest.raises(ValueError):
        write([{"N": 1, "S": "", "flags": ["deleted"]}])
    with pytest.raises(ValueError, match="2 fields"):
        write([(1,)])
    with pytest.raises(ValueError, match="character"):
        write([{"N": 1, "S": "\u4e2d"}])
    with pytest.raises(ValueError, match="unknown engine"):
        corvane.engines.write(None, "dbase", fields, [], name="T", type="DATA", creator="Test")
    with pytest.raises(ValueError, match="unknown type"):
        corvane.engines.write(None, "pocketstudio", [("N", "AFLong")], [], name="T", type="DATA",
                              creator="Test")
    with pytest.raises(ValueError, match="sort-info"):
        corvane.engines.write(None, "generic", [("N", "pdtByte")], [], name="T", type="DATA",
                              creator="Test", sort_info=b"\1")
    with pytest.raises(ValueError, match="application-info"):
        corvane.engines.write(None, "java", [("N", "JInt")], [], name="T", type="DATA",
                              creator="Test", app_info=b"\1")


def test_a_failed_write_leaves_the_earlier_file(tmp_path):
    out = tmp_path / "keep.pdb"
    out.write_bytes(b"earlier")
    with pytest.raises(ValueError):
        corvane.engines.write(out, "pocketstudio", [("N", "PSInt8")], [{"N": 1}, {"N": 999}],
                              name="T", type="DATA", creator="Test")
    assert out.read_bytes() == b"earlier"


def test_read_refuses_cleanly():
    fields = sample("nsbasic")["fields"]
    with pytest.raises(ValueError, match="give fields"):
        corvane.engines.read(SAMPLES / "nsbasic.pdb", "nsbasic")
    with pytest.raises(ValueError, match="from the file"):
        corvane.engines.read(SAMPLES / "appforge.pdb", "appforge", [("A", "AFLong")])
    # Fields that do not describe the records: an error naming the record.
    with pytest.raises(corvane.Error, match="record 0"):
        corvane.engines.read(SAMPLES / "nsbasic.pdb", "nsbasic", fields[:2])
    with pytest.raises(corvane.Error):
        corvane.engines.read(SAMPLES / "sqldriver.pdb", "sqldriver", [("Name", "PDChar", 20)])
    with pytest.raises(FileNotFoundError):
        corvane.engines.read(SAMPLES / "absent.pdb", "generic", [("A", "pdtByte")])
    with pytest.raises(ValueError, match="encoding"):
        corvane.engines.read(SAMPLES / "nsbasic.pdb", "nsbasic", fields, encoding="ebcdic")
    # Every cut of a real file, and junk, raise and never crash.
    whole = (SAMPLES / "appforge.pdb").read_bytes()
    for n in range(0, len(whole), 7):
        try:
            corvane.engines.read(whole[:n], "appforge")
        except corvane.Error:
            pass
    for junk in (b"", b"\xff" * 100, bytes(range(256))):
        with pytest.raises(corvane.Error):
            corvane.engines.read(junk, "generic", [("A", "pdtByte")])
