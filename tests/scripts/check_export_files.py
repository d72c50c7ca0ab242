#!/usr/bin/python3
"""Reads the files of the piece export with independent readers and compares them with the items
the export described (exports.json, each item's pixels in a raw file: red, green, blue and alpha
planes of width x height).

PSD: psd-tools (layers, names, rectangles, opacity, visibility, pixels, resolution, the merged
image against a composite of the visible layers over white computed here), ImageMagick (frames,
their rectangles, the merged image) and, when a GIMP is given, GIMP in batch mode (layers, their
rectangles, opacity and visibility, and its own composite of the visible layers). PNG: pngcheck and PIL (text chunks, resolution, the
pixels with alpha = a x opacity / 255, on a canvas of the document's size at the piece's place
when positions are preserved)."""
import json
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from PIL import Image
from psd_tools import PSDImage
from psd_tools.constants import Resource

import sample_files

PRODUCT = "Quarrow. Jigcrafter 3.0"

GIMP_DUMP = r"""
(define (qw-dump in out png)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in in)))
         (layers (vector->list (cadr (gimp-image-get-layers img))))
         (port (open-output-file out)))
    (for-each
      (lambda (l)
        (let ((off (gimp-drawable-offsets l)))
          (write (list (car (gimp-item-get-name l)) (car off) (cadr off)
                       (car (gimp-drawable-width l)) (car (gimp-drawable-height l))
                       (car (gimp-layer-get-opacity l)) (car (gimp-item-get-visible l)))
                 port)
          (newline port)))
      layers)
    (close-output-port port)
    (let ((merged (car (gimp-image-merge-visible-layers img CLIP-TO-IMAGE))))
      (file-png-save2 RUN-NONINTERACTIVE img merged png png 0 1 0 0 0 0 0 0 1))))
"""


def raw_planes(folder, item):
    w, h = item["width"], item["height"]
    data = np.fromfile(folder / item["raw"], dtype=np.uint8)
    return data.reshape(4, h, w)


def composite(want, folder):
    """The visible items over white, as the merged image of a PSD must show them."""
    out = np.full((want["height"], want["width"], 3), 255.0)
    for it in want["items"]:
        if not it["visible"]:
            continue
        p = raw_planes(folder, it).astype(np.float64)
        x, y, w, h = it["left"], it["top"], it["width"], it["height"]
        a = (p[3] * it["opacity"] / 255.0 / 255.0)[..., None]
        rgb = np.moveaxis(p[:3], 0, -1)
        region = out[y:y + h, x:x + w]
        out[y:y + h, x:x + w] = region * (1 - a) + rgb * a
    return out


def check_psd(folder, want, gimp_result, fail):
    path = folder / want["file"]
    psd = PSDImage.open(path)
    if (psd.width, psd.height) != (want["width"], want["height"]):
        fail("size %dx%d" % (psd.width, psd.height))
    layers = list(psd)
    items = want["items"]
    if len(layers) != len(items):
        fail("%d layers, want %d" % (len(layers), len(items)))
        return
    sample_files.psd_layers(layers, items, fail)
    for got, it in zip(layers, items):
        pixels = np.moveaxis(np.asarray(got.topil().convert("RGBA")), -1, 0)
        if not np.array_equal(pixels, raw_planes(folder, it)):
            fail("layer %r: pixels differ (psd-tools)" % it["name"])
    res = psd.image_resources.get_data(Resource.RESOLUTION_INFO)
    # Pixels per inch as a 16.16 fixed-point number.
    ppi = None if res is None else res.horizontal / 65536.0
    if ppi is None or abs(ppi - want["resolution"]) > 0.01:
        fail("resolution %s, want %s" % (ppi, want["resolution"]))
    merged = np.asarray(psd.topil().convert("RGB"), dtype=np.int32)
    expected = composite(want, folder)
    worst = np.abs(merged - expected).max()
    # Each layer's integer step may lose up to one level where pieces overlap.
    if worst > 3.0:
        fail("merged image differs from the visible layers by up to %.1f" % worst)

    magick = sample_files.magick(path, items, fail)
    if magick is None or magick.size != merged.size or \
            not np.array_equal(magick.reshape(merged.shape), merged):
        fail("merged image differs (ImageMagick)")

    # GIMP lists the layers top first; its own composite of the visible layers, laid over
    # white, is the merged image again.
    if gimp_result is not None:
        rows, rgba = gimp_result
        if len(rows) != len(items):
            fail("GIMP sees %d layers" % len(rows))
            return
        for row, it in zip(reversed(rows), items):
            name, x, y, w, h, opacity, visible = row
            where = "GIMP layer %r" % it["name"]
            if name != it["name"]:
                fail("%s: named %r" % (where, name))
            if (x, y, w, h) != (it["left"], it["top"], it["width"], it["height"]):
                fail("%s: rectangle %s" % (where, (x, y, w, h)))
            if abs(opacity - it["opacity"] * 100.0 / 255.0) > 0.01:
                fail("%s: opacity %s" % (where, opacity))
            if bool(visible) != bool(it["visible"]):
                fail("%s: visible %s" % (where, visible))
        if rgba is None or rgba.shape[:2] != expected.shape[:2]:
            fail("GIMP composite of %s" % (None if rgba is None else rgba.shape,))
        else:
            a = rgba[..., 3:4] / 255.0
            over_white = rgba[..., :3] * a + 255.0 * (1 - a)
            worst = np.abs(over_white - expected).max()
            if worst > 3.0:
                fail("GIMP's composite differs from the visible layers by up to %.1f" % worst)


def check_png(folder, want, fail):
    for it in want["items"]:
        path = folder / it["file"]
        where = it["file"]
        out = subprocess.run(["pngcheck", "-v", str(path)], capture_output=True)
        text = out.stdout.decode("latin-1")
        if out.returncode != 0 or "No errors detected" not in text:
            fail("%s: pngcheck: %s" % (where, text.strip().splitlines()[-1:]))
        for key in ("Generator", "Product"):
            if "keyword: " + key not in text:
                fail("%s: no %s text" % (where, key))
        ppm = int(want["resolution"] * 100 / 2.54)
        if "%dx%d pixels/meter" % (ppm, ppm) not in text:
            fail("%s: pHYs is not %d pixels per metre" % (where, ppm))
        im = Image.open(path)
        if im.text.get("Product") != PRODUCT:
            fail("%s: Product %r" % (where, im.text.get("Product")))
        if not im.text.get("Generator"):
            fail("%s: empty Generator" % where)
        got = np.moveaxis(np.asarray(im.convert("RGBA")), -1, 0)
        planes = raw_planes(folder, it).copy()
        planes[3] = (planes[3].astype(np.int32) * it["opacity"] // 255).astype(np.uint8)
        if want["preserve"]:
            canvas = np.zeros((4, want["height"], want["width"]), dtype=np.uint8)
            canvas[:3] = 255
            x, y, w, h = it["left"], it["top"], it["width"], it["height"]
            canvas[:, y:y + h, x:x + w] = planes
            planes = canvas
        if got.shape != planes.shape:
            fail("%s: size %s, want %s" % (where, got.shape[1:], planes.shape[1:]))
        elif not np.array_equal(got, planes):
            fail("%s: pixels differ" % where)


def run_gimp(gimp, jobs):
    """One GIMP run for every PSD; returns {file: (layer rows, composite RGBA)}."""
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        calls = []
        for k, path in enumerate(jobs):
            calls.append('(qw-dump "%s" "%s/psd%d.txt" "%s/psd%d.png")' % (path, tmp, k, tmp, k))
        program = "(begin %s %s)" % (GIMP_DUMP, " ".join(calls))
        # A settings folder of its own, so that the run neither reads nor leaves the user's.
        env = dict(os.environ, GIMP2_DIRECTORY=str(Path(tmp) / "gimp"))
        subprocess.run([gimp, "-i", "-d", "-f", "-n", "-b", program, "-b", "(gimp-quit 0)"],
                       capture_output=True, timeout=600, env=env)
        for k, path in enumerate(jobs):
            listing = Path(tmp) / ("psd%d.txt" % k)
            rows = []
            if listing.exists():
                for line in listing.read_text(encoding="latin-1").splitlines():
                    m = re.match(r'\("(.*)" (-?\d+) (-?\d+) (\d+) (\d+) ([\d.]+) (\d)\)$', line)
                    if m:
                        g = m.groups()
                        rows.append((g[0], int(g[1]), int(g[2]), int(g[3]), int(g[4]),
                                     float(g[5]), int(g[6])))
            png = Path(tmp) / ("psd%d.png" % k)
            rgba = np.asarray(Image.open(png).convert("RGBA"), dtype=np.float64) \
                if png.exists() else None
            results[str(path)] = (rows, rgba)
    return results


def main():
    folder = Path(sys.argv[1])
    gimp = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
    exports = json.loads((folder / "exports.json").read_text(encoding="utf-8"))
    errors = []
    psd_files = [str(folder / e["file"]) for e in exports if e["kind"] == "psd"]
    gimp_rows = run_gimp(gimp, psd_files) if gimp else {}
    for e in exports:
        def fail(msg, name=e["file"]):
            errors.append("%s: %s" % (name, msg))
        if e["kind"] == "psd":
            check_psd(folder, e, gimp_rows.get(str(folder / e["file"])) if gimp else None, fail)
            print("checked", e["file"], "layers:", len(e["items"]), "(GIMP too)" if gimp else "")
        else:
            check_png(folder, e, fail)
            print("checked", e["file"], "files:", len(e["items"]))
    for msg in errors:
        print("FAIL", msg)
    print("export files: %d problems" % len(errors))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
