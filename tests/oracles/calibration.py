#!/usr/bin/python3
"""Bias/dark subtraction and flat-field division computed independently with
numpy. Usage: calibration.py W H image frame flat out_sub out_flat
(float32 files). Subtraction clamps negatives to 0. The flat mean is the
running total rounded at every step (halves to even) in extended precision,
then rounded again after division by the pixel count; each flat pixel is
normalised to it as a float32, a normalised 0 counts as 1."""
import sys
import numpy as np

w, h = int(sys.argv[1]), int(sys.argv[2])
img = np.fromfile(sys.argv[3], dtype=np.float32)
frame = np.fromfile(sys.argv[4], dtype=np.float32)
flat = np.fromfile(sys.argv[5], dtype=np.float32)
assert img.size == frame.size == flat.size == w * h

sub = np.maximum(img - frame, np.float32(0)).astype(np.float32)
sub.tofile(sys.argv[6])

ld = np.longdouble
s = ld(0)
for v in flat.astype(ld):
    s = np.rint(s + v * ld(10000))
m = np.rint(s / ld(w * h))
f = (flat.astype(ld) / m * ld(10000)).astype(np.float32)
f[f == 0] = np.float32(1)
out = (img.astype(ld) / f.astype(ld)).astype(np.float32)
out.tofile(sys.argv[7])
