import sys
import threading
import time

import corvane


def big_file(tmp_path, name):
    db = corvane.Database.new(name, "DATA", "Thrd")
    record = bytes(range(80))
    for i in range(65535):
        db.append(record, category=i % 16)
    path = tmp_path / f"{name}.pdb"
    db.save(path)
    return path


def test_two_files_are_read_in_parallel(tmp_path):
    """Two threads read and check a file each at the same time, inside the
    library together (it lets go of the interpreter's lock, as the next test
    shows): each comes out whole and as one thread alone reads it. How much
    faster that is belongs to a benchmark, not to a test on a shared machine."""
    paths = [big_file(tmp_path, "first"), big_file(tmp_path, "second")]
    expected = {p: [r.data for r in corvane.open(p)] for p in paths}
    results, errors = {}, []

    def read(path):
        try:
            for _ in range(3):
                db = corvane.open(path)
                corvane.check(path)
                results[path] = [r.data for r in db]
        except Exception as e:  # noqa: BLE001 - reported below with its thread's file
            errors.append((path, e))

    threads = [threading.Thread(target=read, args=(p,)) for p in paths]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert results == expected


def test_other_threads_run_while_a_file_is_read(tmp_path):
    """Without the lock, another thread runs Python code while this one is
    inside the library, busy machine or not. The switch interval is made so
    long that nothing else hands the lock over: the counting thread counts
    only while the library has let go of it."""
    path = big_file(tmp_path, "third")
    counter = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            counter[0] += 1
            time.sleep(0)  # lets go of the lock, so the library gets it back at once

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    counting = threading.Thread(target=count)
    counting.start()
    try:
        before = counter[0]
        for _ in range(5):
            corvane.open(path)
            corvane.check(path)
        advanced = counter[0] - before
    finally:
        stop.set()
        counting.join()
        sys.setswitchinterval(interval)
    assert advanced > 0
