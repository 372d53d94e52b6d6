"""Iterating the records of a full database (65,535 records) from Python, beside the
cost of making the same bytes objects alone and of the same walk in C++.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_iteration.py [build/bench/pdb_bench]

The file is the one pdb_bench's BM_OpenAndWalk walks (records of 90 to 110 bytes).
"open + iterate" opens it and touches every record's bytes, as that benchmark does;
given the pdb_bench program, the script runs BM_OpenAndWalk and prints the ratio of
"open + iterate" to the C++ walk plus "bytes only" (the aim: at most 3).
"""

import json
import os
import subprocess
import sys
import tempfile
import timeit

import corvane

RECORDS = 65535


def record(i):
    """pdb_bench's record i."""
    s = f"record {i} "
    size = 90 + i % 21
    while len(s) < size:
        s += chr(ord("a") + (len(s) + i) % 26)
    return s.encode()


def best_ms(fn, runs=15):
    return min(timeit.repeat(fn, number=1, repeat=runs)) * 1000


def cxx_walk_ms(program):
    done = subprocess.run([program, "--benchmark_filter=BM_OpenAndWalk$",
                           "--benchmark_format=json", "--benchmark_repetitions=5",
                           "--benchmark_report_aggregates_only=true"],
                          capture_output=True, text=True, check=True)
    runs = json.loads(done.stdout)["benchmarks"]
    return min(b["real_time"] for b in runs if b.get("aggregate_name") in ("median", "mean", None))


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "full.pdb")
        db = corvane.Database.new("Full", "DATA", "Bnch", categories=["Unfiled", "Business"])
        for i in range(RECORDS):
            db.append(record(i), category=i % 2, unique_id=i + 1)
        db.save(path)

        opened = corvane.open(path)
        payloads = [r.data for r in opened]
        sizes = [len(p) for p in payloads]

        def open_file():
            corvane.open(path)

        def iterate():
            total = 0
            for r in opened:
                total += len(r.data)
            return total

        def open_and_iterate():
            total = 0
            for r in corvane.open(path):
                total += len(r.data)
            return total

        def bytes_only():
            # One bytes object per record, of its size, in the same loop.
            total = 0
            for n in sizes:
                total += len(bytes(n))
            return total

        results = {}
        for name, fn in (("open", open_file), ("iterate", iterate),
                         ("open + iterate", open_and_iterate), ("bytes only", bytes_only)):
            results[name] = best_ms(fn)
            print(f"{name:16s} {results[name]:8.2f} ms")
        if len(sys.argv) > 1:
            cxx = cxx_walk_ms(sys.argv[1])
            print(f"{'C++ walk':16s} {cxx:8.2f} ms")
            ratio = results["open + iterate"] / (cxx + results["bytes only"])
            print(f"ratio            {ratio:8.2f} (open + iterate) / (C++ walk + bytes only)")


if __name__ == "__main__":
    main()
