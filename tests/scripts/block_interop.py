#!/usr/bin/env python3
"""Independent reader and writer of compressed blocks ("QWCV2-01" + big-endian sizes + zlib
stream), used by the framework tests to check our blocks against python's zlib.

  block_interop.py unpack BLOCK OUT   inflate BLOCK into OUT (checks the header sizes)
  block_interop.py pack LEVEL IN OUT  pack IN into a block at zlib LEVEL
"""
import struct
import sys
import zlib

MAGIC = b"QWCV2-01"


def unpack(src, dst):
    data = open(src, "rb").read()
    if len(data) < 16 or data[:8] != MAGIC:
        sys.exit("bad header")
    unpacked, packed = struct.unpack(">II", data[8:16])
    if len(data) < 16 + packed:
        sys.exit("packed size runs past the block")
    out = zlib.decompress(data[16:16 + packed])
    if len(out) != unpacked:
        sys.exit("size mismatch: %d != %d" % (len(out), unpacked))
    open(dst, "wb").write(out)


def pack(level, src, dst):
    data = open(src, "rb").read()
    stream = zlib.compress(data, level)
    open(dst, "wb").write(MAGIC + struct.pack(">II", len(data), len(stream)) + stream)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "unpack":
        unpack(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "pack":
        pack(int(sys.argv[2]), sys.argv[3], sys.argv[4])
    else:
        sys.exit(__doc__)
