#!/usr/bin/python3
"""Hexcone HSV by Python's colorsys. Input: float64 triples R, G, B on 0..255.
Output per triple: H in degrees, S, V from rgb_to_hsv, then R, G, B (0..1)
from hsv_to_rgb of that hue, saturation and value."""
import colorsys
import sys
import numpy as np

rgb = np.fromfile(sys.argv[1], dtype=np.float64).reshape(-1, 3)
out = []
for r, g, b in rgb:
    h, s, v = colorsys.rgb_to_hsv(r / 255.0, g / 255.0, b / 255.0)
    out.extend([h * 360.0, s, v])
    out.extend(colorsys.hsv_to_rgb(h, s, v))
np.array(out, dtype=np.float64).tofile(sys.argv[2])
