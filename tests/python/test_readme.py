import os
import re
import subprocess
import sys

import pytest

from conftest import CORPUS, SOURCE


def test_the_readme_example_runs(tmp_path):
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    assert blocks, "the README has no Python example"
    address_book = CORPUS / "pim-AddressDB-LifeDrive.pdb"
    if not address_book.exists():
        pytest.skip("no corpus")
    code = blocks[0].replace('"AddressDB.pdb"', repr(str(address_book)))
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                          text=True, env=os.environ)
    assert done.returncode == 0, done.stderr
    assert "Accessories" in done.stdout
    assert done.stdout.rstrip().endswith("2 records")


def test_the_readme_engines_and_apps_example_runs(tmp_path):
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    assert len(blocks) >= 2, "the README has no engines and apps example"
    done = subprocess.run([sys.executable, "-c", blocks[1]], cwd=tmp_path, capture_output=True,
                          text=True, env=os.environ)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["Hammer 3 2024-02-29", "['Buy milk', 'Call Ann']",
                                        "Once upon a time..."]
    assert {p.name for p in tmp_path.iterdir()} == {"stock.pdb", "MemoDB.pdb", "Story.pdb"}
