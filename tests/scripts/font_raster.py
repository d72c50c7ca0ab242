#!/usr/bin/env python3
"""Independent check of our bitmap fonts, from the "QWF2" format table and PIL's FreeType binding.

The font tests write, into DIR, each font block they built (unpacked "QWF2", *.qwf2), sample texts
the text layer rendered with it (alpha plane as binary PGM) and manifest.tsv:
  font  NAME.qwf2  FACE-FILE  SIZE
  text  NAME.pgm   FONT-NAME.qwf2  PEN-X  BASELINE  LINE-STEP  TEXT-IN-HEX

Checked here:
- every glyph record equals PIL's rendering of that Windows-1252 character alone, drawn at a
  known origin on the baseline (same bitmap, bearing and rise); PIL runs FreeType with the classic
  TrueType hinting our rasteriser uses (FREETYPE_PROPERTIES, set by the caller);
- every advance lies within 2 pixels of PIL's unhinted advance (hinting rounds and fits the advance to the grid);
- every sample equals the text laid out from the block's records by the text layer's rules:
  the pen starts at PEN-X, a first glyph with a negative left offset moves it right by that much,
  each glyph's box starts at pen + left and baseline + top, non-zero coverage replaces what is
  there, and the pen advances by left + width + spacing.

  font_raster.py DIR
"""
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

from pictures import read_pgm


def read_block(path):
    data = open(path, "rb").read()
    if data[:4] != b"QWF2":
        sys.exit("%s: no QWF2 magic" % path)
    first, last = data[4], data[5]
    glyphs = {}
    pos = 6
    for c in range(first, last + 1):
        if pos + 5 > len(data):
            sys.exit("%s: record of %d runs past the block" % (path, c))
        left, spacing, top, w, h = struct.unpack("bbbBB", data[pos:pos + 5])
        cover = data[pos + 5:pos + 5 + w * h]
        if len(cover) != w * h:
            sys.exit("%s: coverage of %d runs past the block" % (path, c))
        glyphs[c] = (left, spacing, top, w, h, cover)
        pos += 5 + w * h
    if pos != len(data):
        sys.exit("%s: %d bytes after the last record" % (path, len(data) - pos))
    return glyphs


def check_glyphs(name, glyphs, face, size):
    font = ImageFont.truetype(face, size)
    origin = 40
    for c, (left, spacing, top, w, h, cover) in glyphs.items():
        try:
            ch = bytes([c]).decode("cp1252")
        except UnicodeDecodeError:
            ch = None
        if ch is None or c < 32 or c == 127:
            if (left, spacing, top, w, h) != (0, 0, 0, 0, 0):
                sys.exit("%s: code %d has no character but a record %r" % (name, c, (left, spacing, top, w, h)))
            continue
        if c == 0xAD:
            continue  # PIL's text layout hides the soft hyphen; the face draws it as a hyphen
        canvas = Image.new("L", (2 * origin, 2 * origin), 0)
        ImageDraw.Draw(canvas).text((origin, origin), ch, font=font, fill=255, anchor="ls")
        ref = canvas.load()
        ours = {}
        for y in range(h):
            for x in range(w):
                v = cover[y * w + x]
                if v:
                    ours[(origin + left + x, origin + top + y)] = v
        for y in range(2 * origin):
            for x in range(2 * origin):
                if ref[x, y] != ours.get((x, y), 0):
                    sys.exit("%s: character %d (%r) differs from PIL at (%d, %d): %d, PIL %d"
                             % (name, c, ch, x - origin, y - origin, ours.get((x, y), 0), ref[x, y]))
        advance = left + w + spacing
        linear = font.getlength(ch)
        if abs(advance - linear) > 2:
            sys.exit("%s: character %d (%r) advances %d, PIL's outline %.3f" % (name, c, ch, advance, linear))


def lay_out(glyphs, w, h, pen_x, baseline, step, text):
    out = bytearray(w * h)
    x, y = pen_x, baseline
    for c in text:
        if c == 10:
            x, y = pen_x, y + step
            continue
        if c not in glyphs:
            continue
        left, spacing, top, gw, gh, cover = glyphs[c]
        if x == pen_x and left < 0:
            x -= left
        for gy in range(gh):
            for gx in range(gw):
                v = cover[gy * gw + gx]
                px, py = x + left + gx, y + top + gy
                if v and 0 <= px < w and 0 <= py < h:
                    out[py * w + px] = v
        x += left + gw + spacing
    return bytes(out)


def main(folder):
    rows = [l.split("\t") for l in open(os.path.join(folder, "manifest.tsv")).read().splitlines()]
    fonts = {}
    for row in rows:
        if row[0] == "font":
            name, face, size = row[1], row[2], int(row[3])
            glyphs = read_block(os.path.join(folder, name))
            check_glyphs(name, glyphs, face, size)
            fonts[name] = glyphs
            print("%s: %d glyphs match PIL (%s, %d px)" % (name, len(glyphs), os.path.basename(face), size), flush=True)
    samples = 0
    for row in rows:
        if row[0] == "text":
            name, font, pen_x, baseline, step = row[1], row[2], int(row[3]), int(row[4]), int(row[5])
            text = bytes.fromhex(row[6])
            w, h, ours = read_pgm(os.path.join(folder, name))
            if ours != lay_out(fonts[font], w, h, pen_x, baseline, step, text):
                sys.exit("%s: the text layer's rendering of %r differs from the layout rules" % (name, text))
            samples += 1
    if not fonts or not samples:
        sys.exit("nothing to check in %s" % folder)
    print("%d samples laid out as the format says" % samples)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
