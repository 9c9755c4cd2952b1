#!/usr/bin/env python3
"""Writes the image readers' seeds that declare huge pictures in a few bytes:
run-length TGA, PCX and DDS files of 16384 x 16384 or 65535 x 65535 pixels
(and a DDS exactly at the decode budget), so the fuzzers start from the size
checks: the side limit, the length a declared size needs, the budget's edge.

    fuzz/make_huge_seeds.py    (writes into fuzz/seeds/{tga,pcx,dds}/)
"""
import os
import struct

SEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def put(kind, name, data):
    with open(os.path.join(SEEDS, kind, name), "wb") as f:
        f.write(data)


def tga(image_type, depth, width, height, body):
    head = struct.pack("<BBBHHBHHHHBB", 0, 0, image_type, 0, 0, 0, 0, 0, width, height, depth, 0x20)
    return head + body


def pcx(width, height, body):
    head = bytearray(128)
    head[0:4] = bytes([10, 5, 1, 8])
    struct.pack_into("<HHHH", head, 4, 0, 0, width - 1, height - 1)
    head[65] = 1
    struct.pack_into("<HH", head, 66, min(width + (width & 1), 0xFFFF), 1)
    palette = bytes(b for i in range(256) for b in (i, 255 - i, i // 2))
    return bytes(head) + body + b"\x0c" + palette


def dds(width, height, mips, four_cc, body, bits=0, masks=(0, 0, 0, 0)):
    head = b"DDS " + struct.pack("<7I", 124, 0x2100F, height, width, 0, 0, mips) + bytes(44)
    if four_cc:
        head += struct.pack("<II", 32, 4) + four_cc + bytes(20)
    else:
        head += struct.pack("<8I", 32, 0x41, 0, bits, *masks)
    head += struct.pack("<I", 0x401008) + bytes(16)
    return head + body


# Run-length TGA: 32-bit true colour and 8-bit grey, runs of 128 pixels.
put("tga", "huge_rle_16384.tga", tga(10, 32, 16384, 16384, b"\xff\x10\x20\x30\x40" * 8))
put("tga", "huge_grey_rle_16384.tga", tga(11, 8, 16384, 16384, b"\xff\x80" * 8))
put("tga", "huge_rle_65535.tga", tga(10, 24, 65535, 65535, b"\xff\x10\x20\x30" * 8))
# PCX: runs of 63 bytes.
put("pcx", "huge_16384.pcx", pcx(16384, 16384, b"\xff\x07" * 16))
put("pcx", "huge_65535.pcx", pcx(65535, 65535, b"\xff\x07" * 16))
# DDS: a DXT1 chain of 15 levels, an uncompressed picture exactly at the
# budget (256 MiB of pixels) and one of 65535 x 65535.
put("dds", "huge_dxt1_16384.dds", dds(16384, 16384, 15, b"DXT1", bytes(64)))
put("dds", "budget_rgb32_8192.dds",
    dds(8192, 8192, 1, None, bytes(64), 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)))
put("dds", "huge_dxt5_65535.dds", dds(65535, 65535, 1, b"DXT5", bytes(64)))
