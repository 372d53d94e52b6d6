import json
import os
import pathlib
import subprocess

import pytest

SHARED = pathlib.Path(os.environ.get("CORVANE_SHARED_DIR", pathlib.Path(__file__).parents[3] / "shared"))
CORPUS = SHARED / "corpus"
TOOL = os.environ.get("CORVANE_TOOL")
SOURCE = pathlib.Path(os.environ.get("CORVANE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))


def corpus_files():
    if not CORPUS.is_dir():
        return []
    return sorted(p for p in CORPUS.iterdir() if p.suffix.lower() in (".pdb", ".prc"))


def run_tool(*args):
    """The corvane command's JSON output, or None when it refuses the file."""
    if TOOL is None:
        pytest.skip("CORVANE_TOOL not set")
    done = subprocess.run([TOOL, *map(str, args)], capture_output=True)
    if done.returncode != 0:
        return None
    return json.loads(done.stdout)
