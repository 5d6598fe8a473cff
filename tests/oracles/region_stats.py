#!/usr/bin/python3
"""Region statistics and histograms computed independently with numpy
(extended precision, sequential sums through cumsum) and Pillow.

grey W H X1 Y1 X2 Y2: input float32 plane; output int64 Max, Min, Sum, Mean,
StdDev as Round(v * 10000), then float32 Scale, then 256 int64 counts (bins
from 0 up to the maximum, or from the minimum up to 0 where nothing is above 0).
colour W H X1 Y1 X2 Y2: input B,G,R bytes; output 1024 int64 counts (red,
green, blue from Pillow's histogram, intensity from numpy), then int64 sums
R, G, B and float64 means and standard deviations R, G, B."""
import sys
import numpy as np

mode = sys.argv[3]
w, h, x1, y1, x2, y2 = map(int, sys.argv[4:10])
out = open(sys.argv[2], "wb")
if mode == "grey":
    plane = np.fromfile(sys.argv[1], dtype=np.float32).reshape(h, w)
    v = plane[y1:y2 + 1, x1:x2 + 1].ravel()
    ld = v.astype(np.longdouble)
    total = np.cumsum(ld)[-1]
    mean = total / np.longdouble(v.size)
    ss = np.cumsum((ld - mean) ** 2)[-1]
    sd = np.sqrt(ss / np.longdouble(v.size))
    mx = max(np.float32(0), v.max())
    mn = min(np.float32(2.0e32), v.min())
    fixed = [np.rint(np.longdouble(x) * 10000) for x in (mx, mn, total, mean, sd)]
    np.array(fixed, dtype=np.int64).tofile(out)
    if mx == 0 and mn < 0:
        # Nothing above 0: the bins run from the minimum up to 0.
        scale = np.float32(np.longdouble(255) / (np.longdouble(0) - np.longdouble(mn)))
        bins = np.rint((v.astype(np.longdouble) - np.longdouble(mn)) * np.longdouble(scale))
    else:
        scale = np.float32(255.0 / np.float64(mx))
        bins = np.rint(v.astype(np.float64) * np.float64(scale))
    np.array([scale], dtype=np.float32).tofile(out)
    bins = np.clip(bins, 0, 255).astype(np.int64)
    np.bincount(bins, minlength=256).astype(np.int64).tofile(out)
else:
    from PIL import Image
    bgr = np.fromfile(sys.argv[1], dtype=np.uint8).reshape(h, w, 3)
    rect = bgr[y1:y2 + 1, x1:x2 + 1]
    rgb = np.ascontiguousarray(rect[:, :, ::-1])
    hist = Image.fromarray(rgb, "RGB").histogram()
    s = rect.astype(np.int64).sum(axis=2)
    inten = np.rint(s / 3.0).astype(np.int64)
    np.array(hist + list(np.bincount(inten.ravel(), minlength=256)), dtype=np.int64).tofile(out)
    chans = [rgb[:, :, c].astype(np.int64).ravel() for c in range(3)]
    np.array([c.sum() for c in chans], dtype=np.int64).tofile(out)
    means = [np.longdouble(c.sum()) / np.longdouble(c.size) for c in chans]
    sds = [np.sqrt(np.cumsum((c.astype(np.longdouble) - m) ** 2)[-1] / np.longdouble(c.size))
           for c, m in zip(chans, means)]
    np.array(means + sds, dtype=np.float64).tofile(out)
out.close()
