"""What the checks of the files the tests wrote share: each file of a kind in the folder is checked
against the description written beside it (the same name with ".json"); the problems are printed
and make the exit status 1, as does a folder without such files. Layered PSD files are read the
same way by every check: their layers' attributes, and ImageMagick's frames."""
import json
import subprocess
import sys
from pathlib import Path


def check_folder(folder, suffix, kind, check, summary=lambda want: ""):
    """check(path, want, errors) appends "NAME: problem" lines; summary(want) adds to each
    "checked NAME" line."""
    folder = Path(folder)
    files = sorted(folder.glob("*" + suffix))
    if not files:
        print("no %s files in" % kind, folder)
        return 1
    errors = []
    for f in files:
        want = json.loads(f.with_suffix(".json").read_text(encoding="utf-8"))
        check(f, want, errors)
        print(("checked %s %s" % (f.name, summary(want))).rstrip())
    for e in errors:
        print("FAIL", e)
    return 1 if errors else 0


def main(suffix, kind, check, summary=lambda want: ""):
    sys.exit(check_folder(sys.argv[1], suffix, kind, check, summary))


def psd_layers(layers, items, fail):
    """The layers psd-tools read have the items' names, rectangles, visibility and opacity."""
    for got, it in zip(layers, items):
        where = "layer %r" % it["name"]
        rect = (got.left, got.top, got.width, got.height)
        if got.name != it["name"]:
            fail("%s: named %r" % (where, got.name))
        if rect != (it["left"], it["top"], it["width"], it["height"]):
            fail("%s: rectangle %s" % (where, rect))
        if bool(got.visible) != bool(it["visible"]):
            fail("%s: visible %s" % (where, got.visible))
        if got.opacity != it["opacity"]:
            fail("%s: opacity %s" % (where, got.opacity))


def magick(path, items, fail):
    """ImageMagick's frames of a layered PSD: the merged image, then one per item at its
    rectangle. Returns the merged image's bytes, R, G, B a pixel, or None."""
    import numpy as np
    out = subprocess.run(["identify", "-format", "%w %h %X %Y\\n", str(path)], capture_output=True)
    frames = out.stdout.decode("latin-1").split()
    if out.returncode != 0 or len(frames) != 4 * (len(items) + 1):
        fail("identify: %s" % (out.stderr.decode("latin-1").strip() or "%d frames" % (len(frames) // 4)))
        return None
    for k, it in enumerate(items):
        got = tuple(int(v) for v in frames[4 * (k + 1):4 * (k + 2)])
        if got != (it["width"], it["height"], it["left"], it["top"]):
            fail("identify: layer %r at %s" % (it["name"], got))
    raw = subprocess.run(["/usr/bin/convert", str(path) + "[0]", "-depth", "8", "rgb:-"], capture_output=True)
    if raw.returncode != 0:
        fail("convert: " + raw.stderr.decode(errors="replace").strip())
        return None
    return np.frombuffer(raw.stdout, dtype=np.uint8)
