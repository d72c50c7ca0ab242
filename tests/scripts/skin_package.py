#!/usr/bin/env python3
"""Independent reader of a skin package, written from the format tables: the resource package
("QWCPSv40": big-endian header, MD5 digest of bytes 24 to the end, entries with kind, parent id,
own id and name, trailer), compressed blocks ("QWCV2-01" + sizes + zlib stream), image elements
(16-bit big-endian rectangle + R, G, B, A planes), the drag-area mask, bitmap fonts ("QWF2") and
the 108-byte accelerator records. It checks that the compiler wrote exactly these forms, that
every folder on every key path is a folder entry, and that each control folder holds the values
its kind reads, with the kinds the toolkit's getters insist on.

  skin_package.py PACKAGE
"""
import hashlib
import struct
import sys
import zlib

FOLDER, BYTE, WORD, DWORD, TEXT, BLOB, DOUBLE, DELETED = 0, 1, 2, 3, 4, 5, 6, 99
NUMBERS = {FOLDER: ">", BYTE: ">B", WORD: ">H", DWORD: ">I", DOUBLE: ">d"}
MAGIC = b"QWCPSv40"

# What each control kind reads from its folder: (name, kind); "image" is a compressed element.
REQUIRED = {
    "Buttons": [("Normal", "image"), ("Data", "image")],
    "Check Boxes": [("Normal On", "image"), ("Normal Off", "image"), ("Data", "image")],
    "Radio Buttons": [("Normal On", "image"), ("Normal Off", "image"), ("Data", "image")],
    "Edits": [("Rect Left", WORD), ("Rect Top", WORD), ("Rect Right", WORD), ("Rect Bottom", WORD)],
    "Lists": [("Background_Selected", "image"), ("Foreground_Selected", "image"),
              ("Background_Normal", "image"), ("Foreground_Normal", "image"),
              ("Rect Left", WORD), ("Rect Top", WORD), ("Rect Right", WORD), ("Rect Bottom", WORD)],
    "Progresses": [("Normal", "image"), ("Data", "image")],
    "Static Images": [("Normal", "image")],
    "Static Texts": [("Normal", "image")],
    "Sliders": [("Data_NumPoints", WORD), ("Data_Coors", BLOB), ("Data_ValueStart", DWORD),
                ("Data_ValueEnd", DWORD), ("Data_HotZone", "image"), ("HotSpot_X", WORD), ("HotSpot_Y", WORD)],
    "Scroll Bars": [("Thumb_Data", "image"), ("Rect Left", WORD), ("Rect Top", WORD),
                    ("Rect Right", WORD), ("Rect Bottom", WORD)],
    "Rects": [("Rect Left", DWORD), ("Rect Top", DWORD), ("Rect Right", DWORD), ("Rect Bottom", DWORD)],
    "Windows": [("Background", "image")],
}
OPTIONAL_KINDS = {"Is Vertical": BYTE, "Group ID": BYTE}


def fail(msg):
    sys.exit("skin package: " + msg)


def read_package(path):
    """The live entries of a package as (key, kind, value) in file order: numbers decoded, a text
    without its zero as latin-1, a binary as its bytes, a folder's value None. A package that
    breaks the format raises ValueError."""
    data = open(path, "rb").read()
    if len(data) < 40 or data[:8] != MAGIC or data[-8:] != MAGIC:
        raise ValueError("bad magic or trailer")
    if hashlib.md5(data[24:]).digest() != data[8:24]:
        raise ValueError("the digest does not match bytes 24 to the end")
    count, last_id = struct.unpack(">II", data[24:32])
    # A folder's entries may only refer to folders already met (the writer puts parents first).
    pos, ids, keys, folders, entries = 32, set(), set(), {0xFFFFFFFF: ""}, []
    for _ in range(count):
        rest, kind, parent, own, n = struct.unpack(">IBIIH", data[pos:pos + 15])
        name = data[pos + 15:pos + 15 + n].decode("latin-1")
        value = data[pos + 15 + n:pos + 4 + rest]
        pos += 4 + rest
        if pos > len(data) - 8:
            raise ValueError("%r runs past the end" % name)
        if ">" in name:
            raise ValueError("name %r holds '>'" % name)
        if own in ids or own > last_id or own == 0:
            raise ValueError("%r: id %d repeated or above the last id %d" % (name, own, last_id))
        ids.add(own)
        if kind in NUMBERS:
            if rest != n + 11 + struct.calcsize(NUMBERS[kind]):
                raise ValueError("%r: kind %d with %d bytes after the size" % (name, kind, rest))
            value = struct.unpack(NUMBERS[kind], value)[0] if kind != FOLDER else None
        elif kind in (TEXT, BLOB):
            (length,) = struct.unpack(">I", value[:4])
            if rest != n + 15 + length:
                raise ValueError("%r: length %d does not fill the entry" % (name, length))
            value = value[4:]
            if kind == TEXT:
                if not value or value[-1] != 0:
                    raise ValueError("%r: text without its NUL" % name)
                value = value[:-1].decode("latin-1")
        elif kind == DELETED:
            continue
        else:
            raise ValueError("%r: unknown kind %d" % (name, kind))
        if parent not in folders:
            raise ValueError("%r: its parent %d is not a folder written before it" % (name, parent))
        key = name if parent == 0xFFFFFFFF else folders[parent] + ">" + name
        if key in keys:
            raise ValueError("key %r twice" % key)
        keys.add(key)
        if kind == FOLDER:
            folders[own] = key
        entries.append((key, kind, value))
    if pos != len(data) - 8:
        raise ValueError("%d bytes between the last entry and the trailer" % (len(data) - 8 - pos))
    return entries


def unpack(key, blob):
    if len(blob) < 16 or blob[:8] != b"QWCV2-01":
        fail("%s: not a compressed block" % key)
    size, packed = struct.unpack(">II", blob[8:16])
    if 16 + packed != len(blob):
        fail("%s: packed size %d does not match the blob" % (key, packed))
    out = zlib.decompress(blob[16:])
    if len(out) != size:
        fail("%s: unpacks to %d bytes, header says %d" % (key, len(out), size))
    return out


def element(key, blob, planes=4):
    raw = unpack(key, blob)
    left, top, right, bottom = struct.unpack(">HHHH", raw[:8])
    w, h = right - left, bottom - top
    if w <= 0 or h <= 0 or len(raw) != 8 + planes * w * h:
        fail("%s: rectangle %r does not match %d bytes" % (key, (left, top, right, bottom), len(raw) - 8))
    return (left, top, right, bottom), raw[8:]


def check_font(key, blob):
    raw = unpack(key, blob)
    if raw[:4] != b"QWF2":
        fail("%s: no QWF2 magic" % key)
    first, last = raw[4], raw[5]
    pos = 6
    for c in range(first, last + 1):
        w, h = raw[pos + 3], raw[pos + 4]
        pos += 5 + w * h
    if pos != len(raw) or first != 32 or last != 255:
        fail("%s: glyph records do not fill the block (or the range is not 32..255)" % key)


def main(path):
    try:
        keys = {key: (kind, value) for key, kind, value in read_package(path)}
    except ValueError as e:
        fail(str(e))
    for key in keys:
        parts = key.split(">")
        for i in range(1, len(parts)):
            parent = ">".join(parts[:i])
            if keys.get(parent, (None,))[0] != FOLDER:
                fail("%s: %s is not a folder entry" % (key, parent))
    counts = {}
    for key, (kind, value) in keys.items():
        parts = key.split(">")
        if parts[0] != "UIResources" or kind != BLOB:
            continue
        if parts[1] == "Fonts":
            check_font(key, value)
        elif parts[1] == "Accelerators":
            if len(unpack(key, value)) % 108:
                fail("accelerator records are not 108 bytes each")
        elif parts[-1] == "Data_Coors":
            pass  # raw points, checked with the slider
        elif parts[-1] == "Drag_Area":
            element(key, value, 1)
        else:
            element(key, value)
    for key, (kind, value) in keys.items():
        parts = key.split(">")
        if len(parts) != 3 or parts[0] != "UIResources" or kind != FOLDER:
            continue
        group, name = parts[1], parts[2]
        counts[group] = counts.get(group, 0) + 1
        for entry, want in REQUIRED.get(group, []):
            k = key + ">" + entry
            if k not in keys:
                fail("%s: missing" % k)
            got = keys[k][0]
            if want == "image":
                if got != BLOB:
                    fail("%s: kind %d, not an element" % (k, got))
            elif got != want:
                fail("%s: kind %d, the toolkit reads kind %d" % (k, got, want))
        for entry, want in OPTIONAL_KINDS.items():
            k = key + ">" + entry
            if k in keys and keys[k][0] != want:
                fail("%s: kind %d, the toolkit reads kind %d" % (k, keys[k][0], want))
        if group == "Sliders":
            n = keys[key + ">Data_NumPoints"][1]
            coords = keys[key + ">Data_Coors"][1]
            if len(coords) != 5 * n:
                fail("%s: %d bytes of points for %d points" % (key, len(coords), n))
            anchors = sum(1 for i in range(n) if coords[5 * i + 4] == 1)
            for a in range(anchors):
                if keys.get(key + ">Data_Value_%d" % a, (None,))[0] != DWORD:
                    fail("%s: anchor value %d missing" % (key, a))
        if group == "Windows":
            rect, pixels = element(key + ">Background", keys[key + ">Background"][1])
            if rect[0] != 0 or rect[1] != 0:
                fail("%s: the background does not start at 0, 0" % key)
            if rect[2] + 22 > 1366 or rect[3] + 22 > 768:
                fail("%s: %d x %d with its shadow does not fit 1366 x 768" % (key, rect[2], rect[3]))
    for group in ("Windows", "Buttons", "Check Boxes", "Radio Buttons", "Edits", "Lists", "Progresses",
                  "Static Images", "Static Texts", "Sliders", "Scroll Bars", "Rects"):
        if not counts.get(group):
            fail("no %s at all" % group)
    print("%s: %d keys; %s" % (path, len(keys), ", ".join("%s %d" % kv for kv in sorted(counts.items()))))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
