#!/usr/bin/python3
"""Colour DDP without edge enhancement, by Python's colorsys.
usage: col_ddp.py IN OUT RED GREEN BLUE A B K
Input: B, G, R bytes per pixel; RED, GREEN, BLUE pick the level each channel of
V2 is taken from (0 red, 1 green, 2 blue, 3 Round((R + G + B) / 3)). Each
pixel's HSV value becomes V' = 255 V / (255 V2 + A) K + B; where 255 V2 + A is
0, V' is the quotient's limit: B for a black pixel (or K = 0), without bound
above 0 otherwise (below 0 for a negative K). Output: B, G, R bytes, each
channel Round(255 x hsv_to_rgb(H, S, V' / 255)) clamped to 0..255."""
import colorsys
import sys

import numpy as np

pix = np.fromfile(sys.argv[1], dtype=np.uint8).reshape(-1, 3).astype(np.float64)
picks = [int(a) for a in sys.argv[3:6]]
A, B, K = (float(np.float32(a)) for a in sys.argv[6:9])


def level(which, r, g, b):
    return [r, g, b][which] if which < 3 else float(np.rint((r + g + b) / 3.0))


out = []
for b, g, r in pix:
    h, s, v = colorsys.rgb_to_hsv(r / 255.0, g / 255.0, b / 255.0)
    v2 = max(level(p, r, g, b) for p in picks) / 255.0
    num, den = 255.0 * v, 255.0 * v2 + A
    if den == 0:
        q = num * K
        if q == 0:
            rgb = colorsys.hsv_to_rgb(h, s, B / 255.0)
        else:
            rgb = [1e300 if c > 0 and q > 0 else 0.0 for c in colorsys.hsv_to_rgb(h, s, 1.0)]
    else:
        rgb = colorsys.hsv_to_rgb(h, s, (num / den * K + B) / 255.0)
    rr, gg, bb = (min(255.0, max(0.0, float(np.rint(c * 255.0)))) for c in rgb)
    out.extend([bb, gg, rr])
np.array(out, dtype=np.uint8).tofile(sys.argv[2])
