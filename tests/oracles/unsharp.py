#!/usr/bin/python3
"""Unsharp mask computed independently with numpy/scipy. The blur is the
Size x Size window mean on the interior (the border keeps the source).
grey SIZE AMOUNT WHITE W H in out: float32 in, float64 out,
  Amount * p - (Amount - 1) * blur clamped to [0, WHITE].
colour SIZE AMOUNT W H in out: bytes B,G,R; blur = Round(sum / Size^2) with
  halves to even; result Round(Amount * c - (Amount - 1) * blur) clipped."""
import sys
import numpy as np
from scipy import ndimage, signal

ld = np.longdouble
kind, n, amount = sys.argv[1], int(sys.argv[2]), ld(np.float32(float(sys.argv[3])))
h = n // 2
if kind == "grey":
    white, w, hh = float(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
    img = np.fromfile(sys.argv[7], dtype=np.float32).reshape(hh, w).astype(np.float64)
    blur = img.copy()
    if w > 2 * h and hh > 2 * h:
        blur[h:hh - h, h:w - h] = ndimage.uniform_filter(img, size=n)[h:hh - h, h:w - h].astype(np.float32)
    out = np.clip(amount * img.astype(ld) - (amount - 1) * blur.astype(ld), 0, white)
    out.astype(np.float64).tofile(sys.argv[8])
else:
    w, hh = int(sys.argv[4]), int(sys.argv[5])
    img = np.fromfile(sys.argv[6], dtype=np.uint8).reshape(hh, w, 3).astype(np.int64)
    blur = img.copy()
    if w > 2 * h and hh > 2 * h:
        for c in range(3):
            s = signal.convolve2d(img[:, :, c], np.ones((n, n), dtype=np.int64), mode="valid")
            blur[h:hh - h, h:w - h, c] = np.rint(s / float(n * n)).astype(np.int64)
    out = np.clip(np.rint(amount * img.astype(ld) - (amount - 1) * blur.astype(ld)), 0, 255)
    out.astype(np.uint8).tofile(sys.argv[7])
