"""Damaged files never crash the module: seeded mutations of real files go
through every reader, which either reads them or raises corvane.Error (or
ValueError for a database of the wrong kind)."""

import json
import random

import pytest

import corvane
from conftest import SOURCE, corpus_files

SAMPLES = SOURCE / "samples"


def mutations(data, count, seed):
    rng = random.Random(seed)
    for _ in range(count):
        b = bytearray(data)
        kind = rng.randrange(3)
        if kind == 0:
            for _ in range(rng.randrange(1, 6)):
                b[rng.randrange(len(b))] = rng.randrange(256)
        elif kind == 1:
            del b[rng.randrange(len(b)):]
        else:
            # A number of the header or the record list set to an extreme.
            at = rng.randrange(min(len(b), 200))
            b[at:at + 4] = rng.choice([b"\xff\xff\xff\xff", b"\0\0\0\0", b"\x7f\xff\xff\xff"])
        yield bytes(b)


def attempt(fn, *args, **kwargs):
    try:
        return fn(*args, **kwargs)
    except (corvane.Error, ValueError):
        return None


@pytest.mark.parametrize("engine", ["appforge", "generic", "java", "nsbasic", "pocketstudio",
                                    "sqldriver"])
def test_engine_readers_survive_damage(engine):
    doc = json.loads((SAMPLES / f"{engine}.json").read_text(encoding="utf-8"))
    fields = None if engine == "appforge" else doc["fields"]
    for data in mutations((SAMPLES / f"{engine}.pdb").read_bytes(), 300, engine):
        attempt(corvane.engines.read, data, engine, fields)


@pytest.mark.parametrize("path", [p for p in corpus_files()
                                  if p.name.startswith(("pim-", "doc-", "prc-", "nsb-runtime"))],
                         ids=lambda p: p.name)
def test_readers_survive_damage(path):
    for data in mutations(path.read_bytes(), 150, path.name):
        attempt(corvane.check, data)
        db = attempt(corvane.open, data)
        if db is None:
            continue
        attempt(lambda: [r.data for r in db])
        attempt(db.to_bytes)
        if db.is_resource:
            continue
        attempt(corvane.apps.decode, db)
        attempt(corvane.apps.decode_app_info, db)
        attempt(corvane.apps.read_text, db)
        attempt(corvane.apps.to_vcard, db)
        attempt(corvane.apps.to_ical, db)
