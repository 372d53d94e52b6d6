"""Read and write Palm OS databases (PDB and PRC files).

    db = corvane.open("AddressDB.pdb")
    for record in db:
        print(record.unique_id, len(record.data))

open() reads a database (a path or its bytes), check() lists what is wrong
with one, Database.new() starts a new one; corvane.apps decodes and encodes
the handheld's own applications' records.
"""

from ._corvane import Database, Error, Finding, Record, Resource, check, open

__all__ = ["Database", "Error", "Finding", "Record", "Resource", "check", "open"]
