#!/usr/bin/env python3
"""Writes hostile-header seeds for format_walk_fuzz into DIR, each behind the
five bytes of the harness's settings: TIFF directories that share a table of
strips or name the same two tables, PSD row tables running through the
headers after them, ASF headers made of sector-long objects. They are the
shapes that make a walk do the most work for the bytes it covers (the
images of core/scan/tests/crafted_headers.h, smaller), up to a few MB, so
run the fuzzer with -max_len=4194304.
Usage: fuzz/crafted_seeds.py DIR"""
import os
import struct
import sys

TIFF, PSD, ASF = 4, 10, 19  # FormatFamily numbers counted from 0 for JPEG
ASF_HEADER = bytes.fromhex("3026b2758e66cf11a6d900aa0062ce6c")
ASF_PADDING = bytes.fromhex("74d40618dfca0945a4ba9aabcb96aae8")


def tiff(headers, directories, strips, shared):
    tables = headers * 512
    b = bytearray(tables + (2 if shared else 4) * strips + 512)
    struct.pack_into("<%dH" % ((1 if shared else 2) * strips), b, tables, *([1] * ((1 if shared else 2) * strips)))
    for h in range(headers):
        base = h * 512
        offsets = tables - base
        counts = offsets if shared else offsets + 2 * strips
        b[base:base + 8] = b"II*\0" + struct.pack("<I", 8)
        at = 8
        for d in range(directories):
            following = at + 30 if d + 1 < directories else 0
            b[base + at:base + at + 30] = struct.pack("<HHHII HHII I".replace(" ", ""), 2, 0x111, 3, strips, offsets,
                                                      0x117, 3, strips, counts, following)
            at += 30
    return bytes(b)


def psd(sectors, rows, row_bytes, tail=512):
    b = bytearray(struct.pack(">H", row_bytes) * ((sectors * 512 + 2 * rows + tail) // 2))
    for s in range(sectors):
        at = s * 512
        b[at:at + 40] = (b"8BPS" + struct.pack(">H", 1) + bytes(6) + struct.pack(">HIIHH", 1, rows, 1, 8, 1) +
                         bytes(12) + struct.pack(">H", 1))
    return bytes(b)


def asf(sectors, header_bytes, chained):
    b = bytearray(b"\x30" * (sectors * 512 + header_bytes + 512))
    for at in range(0, len(b) - 511, 512):
        if chained:
            b[at + 30:at + 54] = ASF_PADDING + struct.pack("<Q", 512)
        if at // 512 < sectors:
            b[at:at + 30] = ASF_HEADER + struct.pack("<QI", header_bytes, header_bytes // 512) + b"\x01\x02"
    return bytes(b)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else sys.exit(__doc__)
    os.makedirs(out, exist_ok=True)
    # Settings: the family, blocks of 512 (0x80) or 4096 (0x87) bytes, nothing
    # past the bound, and the default maximum size (4).
    seeds = {
        "tiff-shared": (TIFF, 0x80, tiff(4, 16, 200_000, True)),
        "tiff-two-tables": (TIFF, 0x87, tiff(4, 16, 200_000, False)),
        "psd-rows": (PSD, 0x80, psd(64, 200_000, 2, 400_000)),
        "psd-rows-past-bound": (PSD, 0x87, psd(8, 1_000_000, 0xFFFF)),
        "asf-objects": (ASF, 0x80, asf(8, 256 * 512, True)),
        "asf-no-objects": (ASF, 0x87, asf(8, 256 * 512, False)),
    }
    for name, (family, block, data) in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes([family, block, 0, 0, 4]) + data)
    print("%d seeds in %s" % (len(seeds), out))


main()
