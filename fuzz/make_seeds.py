#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus: valid files of various shapes and
files that are broken in one way each. Run from the repository root; files the
fuzzer found later sit beside them under their own names."""
import io
import os
import struct
import sys
import zipfile

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
PALM_DATE = 0xB0000000  # 1997-07-26 19:26:56, seconds since 1904


def header(name=b"seed", n=0, app=0, sort=0, attr=0, dates=(PALM_DATE, PALM_DATE, 0), typ=b"DATA",
           creator=b"test", seed=0, next_id=0):
    return (name.ljust(32, b"\0")[:32] + struct.pack(">HH", attr, 1)
            + struct.pack(">III", *dates) + struct.pack(">III", 5, app, sort)
            + typ + creator + struct.pack(">IIH", seed, next_id, n))


def entry(offset, attr=0, uid=0):
    return struct.pack(">IB", offset, attr) + uid.to_bytes(3, "big")


def category_table(names, filler=True):
    t = b"\0\0" + b"".join(n.ljust(16, b"\0")[:16] for n in names + [b""] * (16 - len(names)))
    t += bytes(range(16)) + b"\x0f"
    return t + (b"\0" if filler else b"")


def database(records, app=b"", sort=b"", attr=0, deleted_offset_zero=True, gap=b"\0\0", **kw):
    """records: list of (data or None for deleted, attr byte, uid)."""
    n = len(records)
    start = 78 + 8 * n + len(gap)
    app_off = start if app else 0
    sort_off = start + len(app) if sort else 0
    running = start + len(app) + len(sort)
    entries, body = b"", b""
    for data, a, uid in records:
        if data is None and deleted_offset_zero:
            entries += entry(0, a | 0x80, uid)
            continue
        entries += entry(running, a | (0x80 if data is None else 0), uid)
        if data:
            body += data
            running += len(data)
    return header(n=n, app=app_off, sort=sort_off, attr=attr, **kw) + entries + gap + app + sort + body


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    recs3 = [(b"first\0", 0x40 | 1, 0x000001), (b"second record\0", 0x10 | 2, 0x123456),
             (b"3", 0x20, 0xFFFFFF)]
    cats = category_table([b"Unfiled", b"Business", b"Personal", b"SixteenCharsLong"])
    write("valid-empty.pdb", header())
    write("valid-one-record.pdb", database([(b"0123456789", 0, 1)]))
    write("valid-categories.pdb", database(recs3, app=cats))
    write("valid-all-blocks.pdb", database(recs3[:2], app=cats + b"appdata!!!", sort=b"sort!!"))
    write("valid-sort-only.pdb", database(recs3, sort=b"\x00\x01"))
    write("valid-deleted-middle.pdb",
          database([(b"live one", 0, 1), (None, 0x40, 2), (b"live two", 0, 3)], app=cats))
    write("valid-deleted-last.pdb", database([(b"live", 0, 1), (None, 0, 2), (None, 0, 3)]))
    # A deleted record whose offset points at the end of the file, as some writers leave it.
    write("valid-deleted-at-eof.pdb",
          database([(b"live", 0, 1), (None, 0, 2)], deleted_offset_zero=False))
    write("valid-zero-length.pdb", database([(b"", 0, 1), (b"x", 0, 2), (b"", 0, 3)]))
    write("valid-table-no-filler.pdb", database(recs3, app=category_table([b"A"], filler=False)))
    write("valid-no-gap.pdb", database(recs3, gap=b""))
    write("valid-unix-dates.pdb", database(recs3, dates=(0x3C000000, 0x0000FFFF, 0x7FFFFFFF)))
    write("valid-attributes.pdb", database(recs3, attr=0x807E, seed=0xABCDEF, next_id=7))
    write("valid-many.pdb", database([(bytes([i & 0xFF]) * (i % 7), i & 0x7F, i) for i in range(300)]))
    # Readable oddities: no usable category table; a record that overlaps the header.
    write("odd-app-short-table.pdb", database(recs3, app=cats[:200]))
    write("odd-offset-in-header.pdb", header(n=1) + entry(10) + b"\0\0" + b"z" * 4)
    # Broken files: each must be refused with the library's own exception.
    good = database(recs3, app=cats)
    write("bad-truncated-header.pdb", good[:77])
    write("bad-truncated-list.pdb", good[:78 + 8 * 2])
    write("bad-truncated-data.pdb", good[:-3])
    write("bad-resource-db.pdb", database(recs3, attr=0x0001))
    write("bad-list-past-eof.pdb", header(n=0xFFFF) + b"\0" * 64)
    write("bad-offset-past-eof.pdb", header(n=2) + entry(90) + entry(0x7FFFFFF0) + b"\0\0" + b"x" * 8)
    write("bad-offsets-descending.pdb", header(n=2) + entry(100) + entry(94) + b"\0\0" + b"y" * 12)
    write("bad-app-past-eof.pdb", header(n=0, app=0xFFFFFFF0) + b"\0\0")
    write("bad-sort-before-app.pdb", header(n=0, app=120, sort=100) + b"\0\0" + b"s" * 60)
    write("bad-app-after-records.pdb", header(n=1, app=200) + entry(88) + b"\0\0" + b"r" * 40)
    write("bad-empty-file.pdb", b"")
    # Live records at offset 0: each would span the header up to the next real offset.
    write("bad-live-offset-zero.pdb", header(n=64) + entry(0) * 63 + entry(600) + b"\0\0" + b"w" * 80)
    bitmaps()
    zips(database([(b"0123456789", 0, 1)]))


def bitmap_header(w, h, row_bytes, flags, depth, version, nxt=0, transparent=0, compression=0xFF):
    return struct.pack(">HHHHBBHBBH", w, h, row_bytes, flags, depth, version, nxt, transparent,
                       compression, 0)


def bitmap_header_v3(w, h, row_bytes, flags, depth, fmt, compression, density, transparent=0, nxt=0):
    return struct.pack(">HHHHBBBBBBHII", w, h, row_bytes, flags, depth, 3, 24, fmt, 0, compression,
                       density, transparent, nxt)


def bitmaps():
    """Seeds of the bitmap target: one of each layout the decoder knows."""
    write("bitmap-v2-1bit.bin", bitmap_header(8, 4, 2, 0, 1, 2) + bytes([0xF0, 0, 0x0F, 0] * 2))
    write("bitmap-v0-icon.bin", bitmap_header(16, 2, 2, 0, 0, 0) + b"\xaa\x55\x55\xaa")
    write("bitmap-v1-4bit-scanline.bin", bitmap_header(4, 2, 2, 0x8000, 4, 1)
          + struct.pack(">H", 2 + 3 + 1) + bytes([0xC0, 0x12, 0x34, 0x00]))
    table = struct.pack(">H", 2) + bytes([0, 255, 0, 0, 1, 0, 0, 255])
    write("bitmap-v2-table-transparent.bin",
          bitmap_header(2, 1, 2, 0x6000, 8, 2, transparent=1) + table + bytes([0, 1]))
    write("bitmap-v2-rle.bin", bitmap_header(6, 2, 6, 0x8000, 8, 2, compression=1)
          + struct.pack(">H", 2 + 6) + bytes([4, 230, 2, 0, 6, 125]))
    write("bitmap-v2-packbits.bin", bitmap_header(6, 1, 6, 0x8000, 8, 2, compression=2)
          + struct.pack(">H", 2 + 6) + bytes([1, 230, 0, 0x80, 0xFD, 18]))
    write("bitmap-v2-16bit.bin", bitmap_header(2, 1, 4, 0x2400, 16, 2)
          + bytes([5, 6, 5, 0, 0, 0, 255, 0]) + struct.pack(">HH", 0xF800, 0x07E0))
    v3 = bitmap_header_v3(20, 2, 4, 0x8000, 1, 0, 0, 144) + struct.pack(">I", 4 + 6) \
        + bytes([0xF0, 0xFF, 0x0F, 0xAA, 0x00, 0x00])
    low = bitmap_header(2, 2, 2, 0, 1, 1, nxt=5) + bytes([0x80, 0, 0x40, 0])
    separator = bitmap_header(0, 0, 0, 0, 0xFF, 1)
    write("bitmap-family-separator-v3.bin", low + separator + v3)
    write("bitmap-v3-16bit-le-packbits.bin", bitmap_header_v3(3, 1, 6, 0xA000, 16, 2, 2, 72, 0x1F)
          + struct.pack(">I", 4 + 3) + bytes([0xFE, 0x1F, 0x00]))


def zip_bytes(members):
    """members: (name, data, method); fixed dates so the seeds stay the same."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, method in members:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = method
            z.writestr(info, data)
    return bytearray(out.getvalue())


def central(z, n=0):
    """Offset of the n-th central directory entry."""
    at = -1
    for _ in range(n + 1):
        at = z.index(b"PK\x01\x02", at + 1)
    return at


def zips(pdb):
    """Seeds of the zip target: whole archives and archives broken in one way each."""
    stored, deflated = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    both = zip_bytes([("PALM/memo.pdb", pdb, stored), ("note.txt", b"note " * 20, deflated),
                      ("PALM/", b"", stored)])
    write("zip-stored-and-deflated.zip", bytes(both))
    write("zip-empty.zip", bytes(zip_bytes([])))
    write("zip-truncated.zip", bytes(both[:len(both) // 2]))
    bad = bytearray(both)
    bad[30 + len("PALM/memo.pdb")] ^= 0xFF  # the stored member's first byte
    write("zip-bad-crc.zip", bytes(bad))
    small = zip_bytes([("zeros.bin", b"\0" * 4096, deflated)])
    struct.pack_into("<I", small, central(small) + 24, 10)  # declared size
    write("zip-declared-small.zip", bytes(small))
    overlap = zip_bytes([("a.txt", b"a" * 40, stored), ("b.txt", b"b" * 40, stored)])
    struct.pack_into("<I", overlap, central(overlap, 1) + 42, 0)  # local header offset
    write("zip-overlap.zip", bytes(overlap))
    odd = zip_bytes([("../../up.txt", b"x", stored), ("/abs.txt", b"y", stored),
                     ("ctl\x01\\name.txt", b"z", deflated)])
    struct.pack_into("<H", odd, central(odd, 2) + 10, 12)  # method: bzip2
    struct.pack_into("<H", odd, central(odd, 1) + 8, 1)  # encrypted
    write("zip-hostile-names.zip", bytes(odd))


if __name__ == "__main__":
    sys.exit(main())
