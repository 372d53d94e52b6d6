"""corvane.rescue: the command's whole-folder rescue, called from Python."""
import hashlib
import json
import os
import pathlib
import threading

import pytest

import corvane

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = ROOT / "samples"


def tree(folder):
    return {p.relative_to(folder).as_posix(): hashlib.sha256(p.read_bytes()).hexdigest()
            for p in sorted(folder.rglob("*")) if p.is_file()}


def test_rescue_writes_the_report_it_returns(tmp_path):
    out = tmp_path / "out"
    report = corvane.rescue([SAMPLES], out, jobs=2)
    on_disk = json.loads((out / "rescue.json").read_text(encoding="utf-8"))
    assert report == on_disk
    assert report["format"] == "corvane-rescue"
    assert report["totals"]["files"] == len(report["files"]) > 0
    assert (out / "index.html").is_file()
    for entry in report["files"]:
        if entry["original"]:
            source = pathlib.Path(entry["input"])
            assert (out / entry["original"]).read_bytes() == source.read_bytes()
        for output in entry["outputs"]:
            assert (out / output["path"]).exists(), output["path"]


def test_rescue_never_writes_into_its_input(tmp_path):
    source = tmp_path / "in"
    source.mkdir()
    for p in sorted(SAMPLES.glob("*.pdb"))[:3]:
        (source / p.name).write_bytes(p.read_bytes())
    before = tree(source)
    corvane.rescue(source, tmp_path / "out")
    assert tree(source) == before
    with pytest.raises(ValueError):
        corvane.rescue(source, source / "inside")
    assert tree(source) == before


def test_a_non_empty_output_folder_is_refused_unless_forced(tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    (out / "mine.txt").write_text("keep me")
    with pytest.raises(ValueError):
        corvane.rescue([SAMPLES], out)
    assert sorted(p.name for p in out.iterdir()) == ["mine.txt"]
    corvane.rescue([SAMPLES], out, force=True)
    assert (out / "mine.txt").read_text() == "keep me"


def test_progress_is_reported_and_an_exception_in_it_stops_the_run(tmp_path):
    seen = []
    threads = set()
    corvane.rescue([SAMPLES], tmp_path / "a", jobs=2,
                   progress=lambda p: (seen.append(p), threads.add(threading.get_ident())))
    finished = [p for p in seen if p["event"] == "finished"]
    assert finished and finished[-1]["done"] == finished[-1]["total"]

    class Stop(Exception):
        pass

    def stop(p):
        raise Stop()

    with pytest.raises(Stop):
        corvane.rescue([SAMPLES], tmp_path / "b", jobs=1, progress=stop)


def test_bad_arguments(tmp_path):
    with pytest.raises(ValueError):
        corvane.rescue([], tmp_path / "out")
    with pytest.raises(ValueError):
        corvane.rescue([SAMPLES], tmp_path / "out", jobs=0)
    with pytest.raises(TypeError):
        corvane.rescue([SAMPLES], tmp_path / "out", jobs="two")
