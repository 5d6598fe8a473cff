#!/usr/bin/python3
"""Grey DDP in numpy extended precision.
Arguments after the file names: W H EDGE A B K L. The blurred copy is the
source with its interior (a border of EDGE pixels kept) replaced by the mean
of the (2 EDGE + 1)-square window, stored as float32; EDGE 0 keeps the
source. The result is K * max(p, 0) / (blur + A) + B clamped to [0, L]; L
"max" is the source's largest pixel (at least 0). Where blur + A is 0 the
result is the quotient's limit as the denominator falls to 0 from above: B
for a zero numerator, L for a positive one. float32 in, float32 out."""
import sys

import numpy as np
from scipy import ndimage

w, h, edge = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
a, b, k = (np.longdouble(np.float32(v)) for v in sys.argv[6:9])
src = np.fromfile(sys.argv[1], dtype=np.float32).reshape(h, w)
lim = (np.longdouble(max(np.float32(0), src.max())) if sys.argv[9] == "max"
       else np.longdouble(np.float32(sys.argv[9])))
blur = src.copy()
if edge:
    mean = ndimage.uniform_filter(src.astype(np.float64), size=2 * edge + 1)
    blur[edge:h - edge, edge:w - edge] = mean[edge:h - edge, edge:w - edge].astype(np.float32)
num = k * np.maximum(src, np.float32(0)).astype(np.longdouble)
den = blur.astype(np.longdouble) + a
with np.errstate(divide="ignore", invalid="ignore"):
    r = np.where(den != 0, num / np.where(den != 0, den, 1) + b,
                 np.where(num > 0, lim, np.where(num < 0, np.longdouble(0), b)))
np.clip(r, 0, lim).astype(np.float32).tofile(sys.argv[2])
