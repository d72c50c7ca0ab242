#!/usr/bin/python3
"""Checks every PNG the tests wrote with pngcheck -v (chunks, text keys, resolution) and decodes
it with PIL to compare the pixels with the description written beside it."""
import hashlib
import subprocess

from PIL import Image

import sample_files


def check(path, want, errors):
    def fail(msg):
        errors.append("%s: %s" % (path.name, msg))

    out = subprocess.run(["pngcheck", "-v", str(path)], capture_output=True)
    text = out.stdout.decode("latin-1")
    if out.returncode != 0:
        fail("pngcheck: " + text.strip().splitlines()[-1] if text.strip() else "pngcheck failed")
    for needed in ("Generator", "Product", "%dx%d pixels/meter" % (want["ppm"], want["ppm"]),
                   "%d x %d image" % (want["width"], want["height"])):
        if needed not in text:
            fail("pngcheck -v does not show %r" % needed)
    im = Image.open(path)
    im.load()
    if im.info.get("Generator") != "Quarrow. FrameWork":
        fail("Generator text %r" % im.info.get("Generator"))
    if im.info.get("Product") != want["product"]:
        fail("Product text %r" % im.info.get("Product"))
    mode = {4: "RGBA", 2: "LA"}[want["channels"]]
    if im.mode != mode or im.size != (want["width"], want["height"]):
        fail("decoded as %s %s" % (im.mode, im.size))
        return
    if hashlib.md5(im.tobytes()).hexdigest() != want["hash"]:
        fail("pixels differ")


if __name__ == "__main__":
    sample_files.main(".png", "PNG", check)
