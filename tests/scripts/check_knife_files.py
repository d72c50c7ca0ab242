#!/usr/bin/python3
"""Renders the knife-path files the tests wrote with Ghostscript: the EPS file puts ink where the
cutting engine draws the same knives and its bounding box holds everything it draws; the
Illustrator 3 file, run after a small prolog that stands in for Illustrator's procedure sets,
gives the same pixels as the EPS file."""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

import pictures

# Stand-ins for the Illustrator 3 procsets: just enough to draw the paths they describe.
PROLOG = """%!PS
/procset { 2 dict begin /initialize {} def /terminate {} def currentdict end def } def
/Adobe_packedarray procset /Adobe_cshow procset /Adobe_customcolor procset
/Adobe_pattern_AI3 procset /Adobe_Illustrator_AI3 procset
/w { setlinewidth } def /J { setlinecap } def /j { setlinejoin } def
/K { setcmykcolor } def /m { moveto } def /c { curveto } def /L { lineto } def
/S { stroke } def /annotatepage {} def
"""


def boxes(text):
    box = [int(v) for v in re.search(r"%%BoundingBox: (\S+) (\S+) (\S+) (\S+)", text).groups()]
    hires = [float(v) for v in
             re.search(r"%%HiResBoundingBox: (\S+) (\S+) (\S+) (\S+)", text).groups()]
    return box, hires


def gs(args, source, tmp):
    src = Path(tmp) / "job.ps"
    src.write_bytes(source)
    out = subprocess.run(["gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER"] + args + [str(src)],
                         capture_output=True)
    if out.returncode != 0:
        raise RuntimeError("gs: " + (out.stdout + out.stderr).decode(errors="replace"))
    return out


def render(body, box, tmp, name):
    """The file on a page of exactly its bounding box, one pixel per point, without smoothing."""
    llx, lly, urx, ury = box
    png = Path(tmp) / (name + ".pgm")
    head = ("<< /PageSize [%d %d] >> setpagedevice %d %d translate\n" %
            (urx - llx, ury - lly, -llx, -lly)).encode()
    gs(["-sDEVICE=pgmraw", "-r72", "-dGraphicsAlphaBits=1", "-dTextAlphaBits=1",
        "-sOutputFile=" + str(png)], PROLOG.encode() + head + body, tmp)
    return read_pgm(png)


def read_pgm(path):
    w, h, pixels = pictures.read_pgm(path)
    return np.frombuffer(pixels, dtype=np.uint8).reshape(h, w)


def dilate(mask, r):
    out = mask.copy()
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            out |= np.roll(np.roll(mask, dy, axis=0), dx, axis=1)
    return out


def main(folder):
    folder = Path(folder)
    errors = []
    eps = (folder / "knives.eps").read_bytes()
    ai = (folder / "knives.ai").read_bytes()
    engine = read_pgm(folder / "knives-engine.pgm") > 0
    h, w = engine.shape
    box, hires = boxes(eps.decode("ascii"))
    if box != [int(np.floor(hires[0])), int(np.floor(hires[1])), int(np.ceil(hires[2])),
               int(np.ceil(hires[3]))]:
        errors.append("BoundingBox %s is not HiResBoundingBox %s rounded outward" % (box, hires))
    if hires[0] > 0 or hires[1] > 0 or hires[2] < w or hires[3] < h:
        errors.append("the box %s does not hold the page %dx%d" % (hires, w, h))

    with tempfile.TemporaryDirectory() as tmp:
        # Everything drawn lies inside the box (measured with room around it on a large page).
        margin = 50
        head = ("<< /PageSize [%d %d] >> setpagedevice %d %d translate\n" %
                (w + 4 * margin, h + 4 * margin, 2 * margin, 2 * margin)).encode()
        out = gs(["-sDEVICE=bbox"], PROLOG.encode() + head + eps + b"\nshowpage\n", tmp)
        found = re.search(rb"%%HiResBoundingBox: (\S+) (\S+) (\S+) (\S+)", out.stderr)
        drawn = [float(v) - 2 * margin for v in found.groups()]
        if (drawn[0] < hires[0] - 0.05 or drawn[1] < hires[1] - 0.05 or
                drawn[2] > hires[2] + 0.05 or drawn[3] > hires[3] + 0.05):
            errors.append("drawing %s leaves the box %s" % (drawn, hires))

        # Ink where the engine draws its knives, at 72 points per inch = pixels.
        page = render(eps + b"\nshowpage\n", box, tmp, "eps")
        ink_page = page < 128
        llx, lly, urx, ury = box
        # Page pixel row r is image row r - (ury - h); column i is image column i + llx.
        ink = ink_page[ury - h:ury - h + h, -llx:-llx + w]
        if ink.shape != engine.shape:
            errors.append("rendered page %s does not cover the image" % (ink_page.shape,))
        else:
            stray = ink & ~dilate(engine, 2)
            missed = engine & ~dilate(ink, 2)
            if ink.sum() < engine.sum() / 2:
                errors.append("too little ink: %d pixels for %d knife pixels" %
                              (ink.sum(), engine.sum()))
            if stray.sum() or missed.sum():
                ys, xs = np.nonzero(stray | missed)
                errors.append("ink and knives differ: %d stray, %d missed pixels, first at %s" %
                              (stray.sum(), missed.sum(), (xs[0], ys[0])))

        # The Illustrator file through the procset prolog: the same pixels.
        ai_box, ai_hires = boxes(ai.decode("ascii"))
        if ai_box != box or ai_hires != hires:
            errors.append("Illustrator box %s differs from EPS box %s" % (ai_box, box))
        if b"\n" in ai:
            errors.append("line feed in the Illustrator file")
        ai_page = render(ai, box, tmp, "ai")
        if ai_page.shape != page.shape or (ai_page != page).any():
            errors.append("Illustrator file renders %d pixels differently" %
                          (int((ai_page != page).sum()) if ai_page.shape == page.shape else -1))
    for e in errors:
        print(e)
    print("knife files: %d problems" % len(errors))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
