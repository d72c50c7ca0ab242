#!/usr/bin/python3
"""Independent reader of the knife-shape files, shape sets, the shape library and the shape
drawings the windows tests write (their manifest.json says what each file must hold), written
from the format tables:

  package   the resource package, as skin_package.py reads it
  .qwjh     "Version" "Quarrow. Jigcrafter Shape 2.0", "Nodes" byte, then per node
            "Node_U_i", "Node_H_i", "Node_S_i" doubles, in that order
  .qwjk     "Version" "Quarrow. Jigcrafter Shape Set 2.0", "Shape_k" binary (64-byte name, LE
            int32 n, n times LE float U, H, S), "TotalShapes" dword last
  ckss.data 836-byte records: name[64] (byte 63 zero), count, 3 zero bytes, 64 LE floats U,
            64 H, 64 S (unused slots zero)

Drawings: the EPS text is checked line by line, its path against the nodes, and Ghostscript
renders it: the page is the declared bounding box, ink lies along the path and nowhere else.
The Illustrator file, rendered with a small prolog standing in for the Illustrator procsets,
gives the same pixels.

  shape_files.py <output dir> <source dir> <expect comma locale 0|1>
"""
import json
import math
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from PIL import Image

from check_knife_files import PROLOG
from skin_package import read_package

KNIFE_VERSION = "Quarrow. Jigcrafter Shape 2.0"
SET_VERSION = "Quarrow. Jigcrafter Shape Set 2.0"
SCALE = 2  # pixels per point when rendering (144 dpi)

errors = []


def fail(where, msg):
    errors.append("%s: %s" % (where, msg))


def f32(v):
    return struct.unpack("<f", struct.pack("<f", v))[0]


def check_knife_file(folder, item):
    where = item["file"]
    entries = read_package(folder / item["file"])
    nodes = item["nodes"]
    want = [("Version", 4, KNIFE_VERSION), ("Nodes", 1, len(nodes))]
    for i, (u, h, s) in enumerate(nodes):
        want += [("Node_U_%d" % i, 6, u), ("Node_H_%d" % i, 6, h), ("Node_S_%d" % i, 6, s)]
    if entries != want:
        fail(where, "entries differ: %r" % entries[:6])


def set_value(raw):
    name = raw[:64]
    if name[63] != 0:
        raise ValueError("name without its zero")
    n, = struct.unpack("<i", raw[64:68])
    if not 0 <= n <= 64 or len(raw) != 68 + 12 * n:
        raise ValueError("count %d for %d bytes" % (n, len(raw)))
    nodes = [list(struct.unpack("<3f", raw[68 + 12 * i:80 + 12 * i])) for i in range(n)]
    return name.split(b"\0")[0].decode("latin-1"), nodes


def check_set(folder, item):
    where = item["file"]
    entries = read_package(folder / item["file"])
    shapes = item["shapes"]
    if [e[0] for e in entries] != ["Version"] + ["Shape_%d" % k for k in range(len(shapes))] + ["TotalShapes"]:
        fail(where, "keys %r" % [e[0] for e in entries])
        return []
    if entries[0][2] != SET_VERSION or entries[-1][1:] != (3, len(shapes)):
        fail(where, "version or total")
    got = []
    for (key, kind, raw), want in zip(entries[1:-1], shapes):
        if kind != 5:
            fail(where, "%s is not binary" % key)
            continue
        name, nodes = set_value(raw)
        if name != want["name"] or nodes != want["nodes"]:
            fail(where, "%s holds %r" % (key, name))
        got.append((name, nodes))
    return got


def check_library(folder, item):
    where = item["file"]
    data = (folder / item["file"]).read_bytes()
    shapes = item["shapes"]
    if len(data) != 836 * len(shapes):
        fail(where, "%d bytes for %d shapes" % (len(data), len(shapes)))
        return
    for k, want in enumerate(shapes):
        r = data[836 * k:836 * (k + 1)]
        n = r[64]
        name = r[:64].split(b"\0")[0].decode("latin-1")
        u = struct.unpack("<64f", r[68:324])
        h = struct.unpack("<64f", r[324:580])
        s = struct.unpack("<64f", r[580:836])
        if r[63] != 0 or r[65:68] != b"\0\0\0" or n > 64:
            fail(where, "record %d: name end, padding or count" % k)
        if any(v != 0 for v in u[n:] + h[n:] + s[n:]):
            fail(where, "record %d: unused slots are not zero" % k)
        nodes = [[u[i], h[i], s[i]] for i in range(n)]
        if name != want["name"] or nodes != want["nodes"]:
            fail(where, "record %d holds %r" % (k, name))


def shape_list(path):
    """The readable shape list of the skin, parsed on its own."""
    shapes, cur = [], None
    for line in path.read_text().splitlines():
        line = line.split("#")[0].strip()
        if not line:
            continue
        if cur is None:
            m = re.fullmatch(r'shape\s+"([^"]+)"', line)
            if not m:
                raise ValueError(line)
            cur = {"name": m.group(1), "nodes": []}
        elif line == "end":
            shapes.append(cur)
            cur = None
        else:
            cur["nodes"].append([f32(float(v)) for v in line.split()])
    return shapes


# ---------------------------------------------------------------------------------------------
# Drawings

NUM = r"-?\d+\.\d{6}"


def parse_eps(where, text, nodes):
    """Checks the EPS lines; returns (W, Hb, path segments) or None."""
    if "\r" in text or "," in text:
        fail(where, "carriage returns or commas in the text")
    lines = text.split("\n")
    if lines[-1] != "":
        fail(where, "last line not ended")
    lines = lines[:-1]
    n = len(nodes)
    head = ["%!PS-Adobe-3.0 EPSF-3.0", "%%Creator: Quarrow. Jigcrafter 2.0", None,
            "%%LanguageLevel: 2", "%%Pages: 1", "%%DocumentData: Clean7Bit", "newpath"]
    for i, want in enumerate(head):
        if want is not None and lines[i] != want:
            fail(where, "line %d is %r" % (i + 1, lines[i]))
    m = re.fullmatch(r"%%%%BoundingBox: 0 0 (%s) (%s)" % (NUM, NUM), lines[2])
    if not m:
        fail(where, "bounding box line %r" % lines[2])
        return None
    W, Hb = float(m.group(1)), float(m.group(2))
    tail = ["2.000000 setlinewidth 1 setlinecap 1 setlinejoin", "stroke", "%%EOF"]
    if lines[-3:] != tail:
        fail(where, "closing lines %r" % lines[-3:])
    body = lines[7:-3]
    m = re.fullmatch(r"(%s) (%s) moveto" % (NUM, NUM), body[0])
    if not m:
        fail(where, "moveto %r" % body[0])
        return None
    start = (float(m.group(1)), float(m.group(2)))
    segments = []
    if n == 0:
        m = re.fullmatch(r"(%s) (%s) lineto" % (NUM, NUM), body[1] if len(body) > 1 else "")
        if not m or len(body) != 2:
            fail(where, "the straight edge")
            return None
        segments.append([start, (float(m.group(1)), float(m.group(2)))])
    else:
        if len(body) != n + 2:
            fail(where, "%d curves for %d nodes" % (len(body) - 1, n))
            return None
        p = start
        for line in body[1:]:
            m = re.fullmatch(" ".join(["(%s)" % NUM] * 6) + " curveto", line)
            if not m:
                fail(where, "curveto %r" % line)
                return None
            v = [float(g) for g in m.groups()]
            segments.append([p, (v[0], v[1]), (v[2], v[3]), (v[4], v[5])])
            p = (v[4], v[5])
    # The path starts at the edge's end (0, 0), runs through the nodes from the last to the first
    # and ends at (0, 144): node i lies at (-144 H, 144 (1 - U)).
    ox, oy = -start[0], -start[1]
    ends = [seg[-1] for seg in segments]
    want = [(-144 * h - ox, 144 * (1 - u) - oy) for u, h, _s in reversed(nodes)] + [(-ox, 144 - oy)]
    for got, exp in zip(ends, want):
        if abs(got[0] - exp[0]) > 2e-6 or abs(got[1] - exp[1]) > 2e-6:
            fail(where, "path point %r, node at %r" % (got, exp))
            break
    return W, Hb, segments


def flatten(segments, step=0.25):
    pts = []
    for seg in segments:
        if len(seg) == 2:
            (x0, y0), (x1, y1) = seg
            k = max(2, int(math.hypot(x1 - x0, y1 - y0) / step))
            pts += [(x0 + (x1 - x0) * t / k, y0 + (y1 - y0) * t / k) for t in range(k + 1)]
            continue
        p0, p1, p2, p3 = seg
        length = sum(math.dist(a, b) for a, b in ((p0, p1), (p1, p2), (p2, p3)))
        k = max(4, int(length / step))
        for i in range(k + 1):
            t = i / k
            w = 1 - t
            a, b, c, d = w * w * w, 3 * t * w * w, 3 * t * t * w, t * t * t
            pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0],
                        a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return np.array(pts)


def render_all(jobs, eps):
    """One Ghostscript run for every drawing: each file gives one page. EPS pages take the file's
    bounding box; an Illustrator file gets the prolog and the page of its box."""
    with tempfile.TemporaryDirectory() as tmp:
        cmd = ["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pnggray",
               "-r%d" % (72 * SCALE), "-sOutputFile=%s/page%%03d.png" % tmp]
        if eps:
            cmd += ["-dEPSCrop"] + [str(path) for path, _w, _h in jobs]
        else:
            cmd.append(str(jobs[0][3]))
            for path, width, height, _prolog in jobs:
                cmd += ["-c", "<< /PageSize [%s %s] >> setpagedevice" % (width, height), "-f", str(path)]
        res = subprocess.run(cmd, capture_output=True)
        pages = sorted(Path(tmp).glob("page*.png"))
        if res.returncode != 0 or len(pages) != len(jobs):
            raise RuntimeError("%d pages for %d files: %s" % (len(pages), len(jobs),
                                                              res.stderr.decode("latin-1")[-300:]))
        return [np.array(Image.open(page).convert("L")) for page in pages]


def dilate(mask, radius):
    out = np.zeros_like(mask)
    h, w = mask.shape
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx * dx + dy * dy > radius * radius:
                continue
            src = mask[max(0, -dy):h - max(0, dy), max(0, -dx):w - max(0, dx)]
            out[max(0, dy):h - max(0, -dy), max(0, dx):w - max(0, -dx)] |= src
    return out


def check_page(where, img, W, Hb, segments):
    pts = flatten(segments)
    # The stroke (2 points wide) lies inside the declared box.
    if pts[:, 0].min() < 1 or pts[:, 1].min() < 1 or pts[:, 0].max() > W - 1 or pts[:, 1].max() > Hb - 1:
        fail(where, "the path leaves the bounding box")
    h, w = img.shape
    if abs(w - W * SCALE) > 1 or abs(h - Hb * SCALE) > 1:
        fail(where, "page %dx%d for a box of %gx%g points" % (w, h, W, Hb))
        return
    ink = img < 128
    xs = np.clip((pts[:, 0] * SCALE).astype(int), 0, w - 1)
    ys = np.clip((h - pts[:, 1] * SCALE).astype(int), 0, h - 1)
    # Ink along the whole path...
    missing = int((~dilate(ink, 1)[ys, xs]).sum())
    if missing:
        fail(where, "%d points of the path without ink" % missing)
    # ...and nowhere else: every inked pixel lies within the stroke's half width (one point)
    # and a pixel and a half of the path.
    path = np.zeros_like(ink)
    path[ys, xs] = True
    far = int((ink & ~dilate(path, SCALE + 2)).sum())
    if far:
        fail(where, "%d inked pixels away from the path" % far)


def check_drawings(folder, drawings, prolog):
    parsed = []
    for item in drawings:
        ai_text = (folder / item["ai"]).read_bytes()
        if b"\n" in ai_text or b"," in ai_text:
            fail(item["ai"], "line feeds or commas in the text")
        p = parse_eps(item["eps"], (folder / item["eps"]).read_text("latin-1"), item["nodes"])
        if p:
            parsed.append((item, p))
    eps_pages = render_all([(folder / item["eps"], W, Hb) for item, (W, Hb, _s) in parsed], True)
    ai_pages = render_all([(folder / item["ai"], "%f" % W, "%f" % Hb, prolog)
                           for item, (W, Hb, _s) in parsed], False)
    for (item, (W, Hb, segments)), img, img_ai in zip(parsed, eps_pages, ai_pages):
        check_page(item["eps"], img, W, Hb, segments)
        # The Illustrator file draws the same pixels.
        if img_ai.shape != img.shape or not np.array_equal(img_ai, img):
            fail(item["ai"], "renders differently from the EPS file")


def main():
    folder, source, comma = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3] == "1"
    manifest = json.loads((folder / "manifest.json").read_text())
    if comma and not manifest["comma_locale"]:
        fail("manifest", "the files were not written in a locale with a decimal comma")
    for item in manifest["knife_files"]:
        try:
            check_knife_file(folder, item)
        except ValueError as e:
            fail(item["file"], str(e))
    sets = {}
    for item in manifest["sets"]:
        try:
            sets[item["file"]] = check_set(folder, item)
        except ValueError as e:
            fail(item["file"], str(e))
    # The built-in set holds the skin's shape list, read here on its own.
    listed = [(s["name"], s["nodes"]) for s in shape_list(source / "skin/shapes/defset.txt")]
    if sets.get("defset.qwjk") != listed:
        fail("defset.qwjk", "does not hold the shapes of skin/shapes/defset.txt")
    for item in manifest["libraries"]:
        check_library(folder, item)
    with tempfile.TemporaryDirectory() as tmp:
        prolog = Path(tmp) / "ai_prolog.ps"
        prolog.write_bytes(PROLOG.encode())
        try:
            check_drawings(folder, manifest["drawings"], prolog)
        except RuntimeError as e:
            fail("drawings", "ghostscript: %s" % e)
    checked = len(manifest["knife_files"]) + len(manifest["sets"]) + len(manifest["drawings"]) + 1
    if errors:
        print("\n".join(errors))
        sys.exit(1)
    print("%d shape files checked" % checked)


if __name__ == "__main__":
    main()
