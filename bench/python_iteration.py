"""Iterating the records of a full database (65,535 records) from Python, beside the
cost of making the same bytes objects alone and of opening the file.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_iteration.py

Compare "iterate" with the C++ walk of the same file in pdb_bench plus "bytes only".
"""

import os
import tempfile
import timeit

import corvane


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "full.pdb")
        db = corvane.Database.new("Full", "DATA", "Bnch")
        record = bytes(range(80))
        for i in range(65535):
            db.append(record, category=i % 16)
        db.save(path)

        opened = corvane.open(path)
        payloads = [r.data for r in opened]

        def iterate():
            for r in opened:
                r.data

        def bytes_only():
            for p in payloads:
                bytes(p)

        def open_file():
            corvane.open(path)

        for name, fn in (("open", open_file), ("iterate", iterate), ("bytes only", bytes_only)):
            runs = 10
            best = min(timeit.repeat(fn, number=1, repeat=runs))
            print(f"{name:12s} {best * 1000:8.2f} ms")


if __name__ == "__main__":
    main()
