#!/usr/bin/python3
"""Marker registration with numpy and scipy, for cross-checking the engine.

IN OUT W H TERMS COUNT: IN holds the target's W*H float32 pixels and then
COUNT markers of four float32 (target x, target y, reference x, reference y).
The polynomial of TERMS terms (3: 1, X, Y; 6: and X*X, X*Y, Y*Y) is fitted by
least squares in float64, its coordinates stored as float32, and the target
sampled there by scipy.ndimage.map_coordinates (bilinear, 0 outside the
target); a coordinate within a thousandth of a pixel of an edge lies on it.
OUT gets W*H float64 values.
"""
import sys
import numpy as np
import scipy.ndimage as ndi


def terms(x, y, n):
    t = [np.ones_like(x), x, y, x * x, x * y, y * y]
    return np.stack(t[:n], axis=-1)


def main():
    src, out = sys.argv[1], sys.argv[2]
    w, h, n, count = (int(a) for a in sys.argv[3:7])
    data = np.fromfile(src, dtype=np.float32)
    target = data[: w * h].reshape(h, w).astype(np.float64)
    m = data[w * h:].reshape(count, 4).astype(np.float64)
    a = terms(m[:, 2], m[:, 3], n)
    cx = np.linalg.lstsq(a, m[:, 0], rcond=None)[0]
    cy = np.linalg.lstsq(a, m[:, 1], rcond=None)[0]
    gy, gx = np.mgrid[0:h, 0:w].astype(np.float64)
    t = terms(gx, gy, n)
    sx = (t @ cx).astype(np.float32).astype(np.float64)
    sy = (t @ cy).astype(np.float32).astype(np.float64)
    for c, last in ((sx, w - 1), (sy, h - 1)):
        c[(c < 0) & (c >= -1e-3)] = 0
        c[(c > last) & (c <= last + 1e-3)] = last
    res = ndi.map_coordinates(target, [sy, sx], order=1, mode="constant", cval=0.0)
    res.astype(np.float64).tofile(out)


if __name__ == "__main__":
    main()
