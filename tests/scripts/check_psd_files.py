#!/usr/bin/python3
"""Reads every PSD the tests wrote with psd-tools and with ImageMagick and compares each layer's
pixels, position and name, and the merged image, with the description written beside it."""
import hashlib

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
    sample_files.psd_layers(layers, want["layers"], fail)
    for got, exp in zip(layers, want["layers"]):
        im = got.topil()
        if im is None or im.mode != "RGBA":
            fail("layer %r: decoded as %s" % (exp["name"], None if im is None else im.mode))
        elif planes_hash([im.getchannel(c).tobytes() for c in "RGBA"]) != exp["hash"]:
            fail("layer %r: pixels differ" % exp["name"])
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

    rgb = sample_files.magick(path, want["layers"], fail)
    if rgb is not None and rgb.size != want["width"] * want["height"] * 3:
        fail("convert gave %d bytes" % rgb.size)
    elif rgb is not None and planes_hash([rgb[k::3].tobytes() for k in range(3)]) != want["merged"]:
        fail("merged image differs (ImageMagick)")


if __name__ == "__main__":
    sample_files.main(".psd", "PSD", check, lambda want: "layers: %d" % len(want["layers"]))
