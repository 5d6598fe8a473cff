#!/usr/bin/python3
"""Hue, saturation and intensity shifts through Python's colorsys (hexcone
HSV): S and V shifted and clamped to 0..1, the hue shifted by degrees and
wrapped once into 0..360; greys keep saturation 0. Usage:
hsi_colorsys.py HUE SAT INT in out ties (bytes B, G, R per pixel).
ties gets a byte per channel: 1 where the exact (rational) value times 255
is a half, so that two correct floating-point evaluations may round it
either way; there colorsys is no referee."""
import colorsys
import sys
from fractions import Fraction as Fr

import numpy as np

args = [np.float32(float(a)) for a in sys.argv[1:4]]
hs, ss, vs = (float(a) for a in args)
HS, SS, VS = (Fr(float(a)) for a in args)
px = np.fromfile(sys.argv[4], dtype=np.uint8).reshape(-1, 3)
out = np.zeros_like(px)
ties = np.zeros_like(px)


def exact(r, g, b):
    """The adjusted channels r, g, b (0..1) in exact arithmetic."""
    mx, mn = max(r, g, b), min(r, g, b)
    delta = mx - mn
    s = Fr(0) if mx == 0 else Fr(delta, mx)
    v = Fr(mx, 255)
    h = None
    if s != 0:
        if r == mx:
            h = Fr(60 * (g - b), delta)
        elif g == mx:
            h = Fr(60 * (b - r), delta) + 120
        else:
            h = Fr(60 * (r - g), delta) + 240
        if h < 0:
            h += 360
    s, v = s + SS, v + VS
    if h is None:
        s = Fr(0)
    else:
        h += HS
        if h < 0:
            h += 360
        if h > 360:
            h -= 360
    s, v = min(max(s, Fr(0)), Fr(1)), min(max(v, Fr(0)), Fr(1))
    if s == 0:
        return v, v, v
    hh = (Fr(0) if h == 360 else h) / 60
    i = int(hh)
    f = hh - i
    p, q, t = (1 - s) * v, (1 - s * f) * v, (1 - (1 - f) * s) * v
    return [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i]


for i, (b, g, r) in enumerate(px):
    b, g, r = int(b), int(g), int(r)
    h, s, v = colorsys.rgb_to_hsv(r / 255.0, g / 255.0, b / 255.0)
    grey = s == 0
    s, v = min(max(s + ss, 0.0), 1.0), min(max(v + vs, 0.0), 1.0)
    if grey:
        s = 0.0
    h = h * 360 + hs
    if h < 0:
        h += 360
    if h > 360:
        h -= 360
    rr, gg, bb = colorsys.hsv_to_rgb((h % 360) / 360.0, s, v)
    out[i] = [min(max(round(x * 255), 0), 255) for x in (bb, gg, rr)]
    er, eg, eb = exact(r, g, b)
    ties[i] = [int((2 * 255 * x).denominator == 1 and (2 * 255 * x).numerator % 2 == 1) for x in (eb, eg, er)]
out.tofile(sys.argv[5])
ties.tofile(sys.argv[6])
