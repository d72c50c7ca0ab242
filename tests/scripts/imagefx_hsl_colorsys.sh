#!/usr/bin/env bash
# Checks the hue/saturation adjustment of the pixel effects against python's colorsys.
. "$(dirname "$0")/lib.sh"
samples test_framework_imaging 'ImageFXColour.HSLSamplesForColorsys'
check "every sample within 1 of colorsys" "$py" - "$work/out/imagefx/hsl_samples.txt" <<'PY'
import colorsys, sys

def reference(h, u, r, g, b):
    hh, ll, ss = colorsys.rgb_to_hls(r / 255.0, g / 255.0, b / 255.0)
    if h == 0 and u == 0:
        return r, g, b
    deg = (hh * 360.0 + h) % 360.0
    if u <= 0:
        ss = ss + (u / 100.0) * ss
    elif u < 100:
        ss = ss + (u / (100.0 - u)) * ss
    else:
        ss = 1.0
    ss = min(ss, 1.0)
    if ss <= 0:
        v = int(ll * 255)
        return v, v, v
    rr, gg, bb = colorsys.hls_to_rgb(deg / 360.0, ll, ss)
    return tuple(int(min(255.0, max(0.0, c * 255.0))) for c in (rr, gg, bb))

bad = 0
n = 0
for line in open(sys.argv[1]):
    h, u, r, g, b, R, G, B = map(int, line.split())
    exp = reference(h, u, r, g, b)
    n += 1
    if any(abs(a - e) > 1 for a, e in zip((R, G, B), exp)):
        bad += 1
        if bad <= 10:
            print("mismatch", h, u, (r, g, b), "got", (R, G, B), "expected", exp)
print(n, "samples,", bad, "mismatches")
sys.exit(1 if bad or n == 0 else 0)
PY
exit $fail
