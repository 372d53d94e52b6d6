"""Read and write Palm OS databases (PDB and PRC files).

    db = corvane.open("AddressDB.pdb")
    for record in db:
        print(record.unique_id, len(record.data))

open() reads a database (a path or its bytes), check() lists what is wrong
with one, Database.new() starts a new one; corvane.apps decodes and encodes
the handheld's own applications' records, corvane.engines the typed records
of the development tools' databases; rescue() turns a whole backup folder into
files other programs open.
"""

import sys as _sys

from ._corvane import Database, Error, Finding, Record, Resource, apps, check, engines, open

try:  # present when the module was built with the rescue library
    from ._corvane import rescue
except ImportError:  # pragma: no cover
    pass

# So that `import corvane.apps` finds the extension's submodule.
_sys.modules[__name__ + ".apps"] = apps
_sys.modules[__name__ + ".engines"] = engines

__all__ = ["Database", "Error", "Finding", "Record", "Resource", "apps", "check", "engines", "open"] + (["rescue"] if "rescue" in globals() else [])
