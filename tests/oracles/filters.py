#!/usr/bin/python3
"""Neighbourhood filters by scipy.ndimage, for the interior of a grey plane.

Arguments after the file names: W H OP N [WHITE]. OP is median, min, max,
mean (size N), correlate (fixed kernel code N, clamped to [0, WHITE]) or sobel
(magnitude clamped to WHITE). Input and output are float32 planes; the border
of the output is left 0."""
import sys
import numpy as np
from scipy import ndimage

KERNELS = {  # rows top to bottom, divisor
    1: ([[0, -1, 0], [-1, 5, -1], [0, -1, 0]], 1),
    2: ([[-1, -1, -1], [-1, 9, -1], [-1, -1, -1]], 1),
    3: ([[1, 2, 1], [1, 6, 1], [1, 2, 1]], 15),
    4: ([[9, 9, 9], [9, 9, 9], [9, 9, 9]], 81),
    5: ([[-1, -1, -1], [-1, 8, -1], [-1, -1, -1]], 1),
    6: ([[-1, -1, -1], [2, 2, 2], [-1, -1, -1]], 1),
    7: ([[-1, 2, -1], [-1, 2, -1], [-1, 2, -1]], 1),
    8: ([[0, -1, 0], [-1, 4, -1], [0, -1, 0]], 1),
    9: ([[-1, -2, -1], [0, 0, 0], [1, 2, 1]], 1),
    10: ([[1, 2, 1], [0, 0, 0], [-1, -2, -1]], 1),
    11: ([[1, 0, -1], [2, 0, -2], [1, 0, -1]], 1),
    12: ([[-1, 0, 1], [-2, 0, 2], [-1, 0, 1]], 1),
}

w, h, op, n = int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], int(sys.argv[6])
white = float(sys.argv[7]) if len(sys.argv) > 7 else 0.0
img = np.fromfile(sys.argv[1], dtype=np.float32).reshape(h, w)
x = img.astype(np.float64)
if op == "median":
    r = ndimage.median_filter(img, size=n)
elif op == "min":
    r = np.minimum(ndimage.minimum_filter(img, size=n), np.float32(2.0e32))
elif op == "max":
    r = np.maximum(ndimage.maximum_filter(img, size=n), np.float32(0))
elif op == "mean":
    r = ndimage.uniform_filter(x, size=n)
elif op == "correlate":
    k, d = KERNELS[n]
    r = np.clip(ndimage.correlate(x, np.array(k, dtype=np.float64)) / d, 0, white)
    n = 3
elif op == "sobel":
    gx = ndimage.correlate(x, np.array(KERNELS[12][0], dtype=np.float64))
    gy = ndimage.correlate(x, np.array([[-1, -2, -1], [0, 0, 0], [1, 2, 1]], dtype=np.float64))
    r = np.minimum(np.sqrt(gx * gx + gy * gy), white)
    n = 3
out = np.zeros((h, w), dtype=np.float32)
m = n // 2
out[m:h - m, m:w - m] = np.asarray(r, dtype=np.float32)[m:h - m, m:w - m]
out.tofile(sys.argv[2])
