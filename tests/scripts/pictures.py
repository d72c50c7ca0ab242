"""Pictures and layouts for the scripted tests: PNG files written from a pixel function, binary
PGM files read, and the piece records of a saved layout."""
import re
import struct
import zlib


def png(path, w, h, pixel, channels=3):
    """An 8-bit RGB (or, with 4 channels, RGBA) PNG file of pixel(x, y) -> (r, g, b[, a])."""
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)[:channels]) for x in range(w)) for y in range(h))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    head = struct.pack(">IIBBBBB", w, h, 8, 2 if channels == 3 else 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(rows)) +
                chunk(b"IEND", b""))


def piece_records(blob):
    """The piece records that close a saved layout, after their count: 92 bytes each, big-endian
    numbers."""
    end = len(blob)
    n = next(k for k in range(1, 400) if struct.unpack(">I", blob[end - 92 * k - 4:end - 92 * k])[0] == k)
    return [blob[end - 92 * (n - i):end - 92 * (n - i) + 92] for i in range(n)]


def read_pgm(path):
    """A binary 8-bit PGM file (comment lines in its header skipped): width, height, pixels."""
    data = open(path, "rb").read()
    gap = rb"(?:\s|#[^\n]*\n)+"
    m = re.match(rb"P5" + gap + rb"(\d+)" + gap + rb"(\d+)" + gap + rb"255\s", data)
    w, h = (int(m.group(1)), int(m.group(2))) if m else (0, 0)
    if not m or len(data) - m.end() != w * h:
        raise ValueError("%s: not a binary 8-bit PGM of %d x %d" % (path, w, h))
    return w, h, data[m.end():]
