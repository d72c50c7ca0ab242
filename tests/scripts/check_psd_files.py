#!/usr/bin/python3
"""Reads every PSD the tests wrote with psd-tools and with ImageMagick and compares each layer's
pixels, position and name, and the merged image, with the description written beside it."""
import hashlib
import subprocess

import numpy as np
from psd_tools import PSDImage
from psd_tools.constants import Resource

import sample_files

def planes_hash(planes):
    h = hashlib.md5()
    for p in planes:
        h.update(p)
    return h.hexdigest()


def check(path, want, errors):
    def fail(msg):
        errors.append("%s: %s" % (path.name, msg))

    psd = PSDImage.open(path)
    if (psd.width, psd.height) != (want["width"], want["height"]):
        fail("size %dx%d" % (psd.width, psd.height))
    layers = list(psd)
    if len(layers) != len(want["layers"]):
        fail("layer count %d, want %d" % (len(layers), len(want["layers"])))
        return
    for got, exp in zip(layers, want["layers"]):
        where = "layer %r" % exp["name"]
        if got.name != exp["name"]:
            fail("%s: name %r" % (where, got.name))
        if (got.left, got.top, got.width, got.height) != (
                exp["left"], exp["top"], exp["width"], exp["height"]):
            fail("%s: rectangle %s" % (where, (got.left, got.top, got.width, got.height)))
        if bool(got.visible) != bool(exp["visible"]):
            fail("%s: visible %s" % (where, got.visible))
        if got.opacity != exp["opacity"]:
            fail("%s: opacity %s" % (where, got.opacity))
        im = got.topil()
        if im is None or im.mode != "RGBA":
            fail("%s: decoded as %s" % (where, None if im is None else im.mode))
            continue
        bands = [im.getchannel(c).tobytes() for c in "RGBA"]
        if planes_hash(bands) != exp["hash"]:
            fail("%s: pixels differ" % where)
    merged = psd.topil()
    if merged is None:
        fail("no merged image")
    else:
        bands = [merged.getchannel(c).tobytes() for c in "RGB"]
        if planes_hash(bands) != want["merged"]:
            fail("merged image differs (psd-tools)")
    icc = psd.image_resources.get_data(Resource.ICC_PROFILE)
    if len(icc or b"") != want["icc"]:
        fail("colour profile of %d bytes" % len(icc or b""))

    # ImageMagick: frame 0 is the merged image, then one frame per layer.
    out = subprocess.run(["identify", "-format", "%w %h %X %Y\\n", str(path)],
                         capture_output=True)
    if out.returncode != 0:
        fail("identify: " + out.stderr.decode("latin-1").strip())
        return
    frames = out.stdout.decode("latin-1").splitlines()
    if len(frames) != len(want["layers"]) + 1:
        fail("identify sees %d frames" % len(frames))
        return
    for line, exp in zip(frames[1:], want["layers"]):
        w, h, x, y = line.split(" ", 4)[:4]
        if (int(w), int(h), int(x), int(y)) != (exp["width"], exp["height"], exp["left"],
                                                exp["top"]):
            fail("identify: layer %r at %s" % (exp["name"], line))
    raw = subprocess.run(["convert", str(path) + "[0]", "-depth", "8", "rgb:-"],
                         capture_output=True)
    if raw.returncode != 0:
        fail("convert: " + raw.stderr.decode(errors="replace").strip())
        return
    rgb = np.frombuffer(raw.stdout, dtype=np.uint8)
    if rgb.size != want["width"] * want["height"] * 3:
        fail("convert gave %d bytes" % rgb.size)
        return
    rgb = rgb.reshape(-1, 3)
    if planes_hash([rgb[:, k].tobytes() for k in range(3)]) != want["merged"]:
        fail("merged image differs (ImageMagick)")


if __name__ == "__main__":
    sample_files.main(".psd", "PSD", check, lambda want: "layers: %d" % len(want["layers"]))
