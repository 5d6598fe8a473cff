#!/usr/bin/python3
"""RGB combination computed independently with numpy: per plane the maximum
(from 0), then Round(Round(v * (255 / max)) / rel) with halves to even in
extended precision, shifted by (sx, sy) with 0 where uncovered, clipped to
0..255. Usage: combine.py W H r g b relR relG relB rx ry gx gy bx by out
(out: bytes B, G, R per pixel)."""
import sys
import numpy as np

ld = np.longdouble
w, h = int(sys.argv[1]), int(sys.argv[2])
planes = [np.fromfile(a, dtype=np.float32).reshape(h, w) for a in sys.argv[3:6]]
rels = [ld(np.float32(float(a))) for a in sys.argv[6:9]]
shifts = [int(a) for a in sys.argv[9:15]]
out = np.zeros((h, w, 3), dtype=np.uint8)
for p in range(3):
    m = max(np.float32(0), planes[p].max())
    c = np.rint(np.rint(planes[p].astype(ld) * (ld(255) / ld(m))) / rels[p])
    c = np.clip(c, 0, 255).astype(np.uint8)
    sx, sy = shifts[2 * p], shifts[2 * p + 1]
    shifted = np.zeros((h, w), dtype=np.uint8)
    ys, xs = slice(max(0, sy), min(h, h + sy)), slice(max(0, sx), min(w, w + sx))
    yd, xd = slice(max(0, -sy), min(h, h - sy)), slice(max(0, -sx), min(w, w - sx))
    shifted[ys, xs] = c[yd, xd]
    out[:, :, 2 - p] = shifted
out.tofile(sys.argv[15])
