#!/usr/bin/env python3
"""Writes the hostile PFF archives among the pff_fuzz seeds (fuzz/seeds/pff/).

Each is a small archive that registering or unpacking must refuse: names
that lead out of the folder, a name ending in a blank, sizes past the end of
the file, and entries sharing their bytes. Run it again after changing the
list; the files are committed.

    fuzz/make_pff_seeds.py [FOLDER]
"""
import os
import struct
import sys


def archive(entries, data=b"", directory_at=None):
    """An archive of `entries` (name bytes, offset, size) after `data`."""
    directory_at = 16 + len(data) if directory_at is None else directory_at
    out = b"PFF1" + struct.pack("<III", 1, len(entries), directory_at) + data
    out = out.ljust(directory_at, b"\0")
    for name, offset, size in entries:
        out += struct.pack("<IIII", 0, offset, size, 0) + name.ljust(20, b"\0")
    return out


def seeds():
    data = b"TANK-DATA" + b"ZZ"
    yield "traversal-up.pff", archive([(b"../X", 16, 9)], data)
    yield "traversal-deep.pff", archive([(b"../../../../../../Z", 16, 9)], data)
    yield "traversal-absolute.pff", archive([(b"/TMP/ORVO-PFF", 16, 9)], data)
    yield "traversal-backslash.pff", archive([(b"SUB\\..\\..\\X", 16, 9)], data)
    yield "dot-and-empty.pff", archive([(b"./A", 16, 9), (b"SUB//B", 25, 2)], data)
    yield "subfolder.pff", archive([(b"SUB/A.TGA", 16, 9), (b"SUB/B.PCX", 25, 2)], data)
    yield "trailing-blank.pff", archive([(b"A ", 16, 9)], data)
    yield "huge-size.pff", archive([(b"BIG.TGA", 16, 0xFFFFFFFF)], data)
    yield "huge-count.pff", b"PFF1" + struct.pack("<III", 1, 0xFFFFFFFF, 16)
    yield "huge-offset.pff", archive([(b"FAR.TGA", 0xFFFFFFF0, 0x20)], data)
    # Every entry names the same bytes: one copy would unpack many times over.
    yield "overlap-same.pff", archive([(b"A%02d" % i, 16, 11) for i in range(8)], data)
    yield "overlap-partial.pff", archive([(b"A", 16, 9), (b"B", 20, 7)], data)
    yield "overlap-header.pff", archive([(b"H", 0, 16)], data)
    yield "overlap-directory.pff", archive([(b"D", 20, 20)], data)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "seeds", "pff")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
