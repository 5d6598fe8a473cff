#!/usr/bin/python3
"""Hue, saturation and intensity shifts through Python's colorsys (hexcone
HSV): S and V shifted and clamped to 0..1, the hue shifted by degrees and
wrapped once into 0..360; greys keep saturation 0. Usage:
hsi_colorsys.py HUE SAT INT in out (bytes B, G, R per pixel)."""
import colorsys
import sys
import numpy as np

hs, ss, vs = (float(np.float32(float(a))) for a in sys.argv[1:4])
px = np.fromfile(sys.argv[4], dtype=np.uint8).reshape(-1, 3)
out = np.zeros_like(px)
for i, (b, g, r) in enumerate(px):
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
out.tofile(sys.argv[5])
