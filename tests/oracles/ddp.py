#!/usr/bin/python3
"""The DDP proposal for a mostly-zero grey image, in numpy.
usage: ddp.py IMAGE.f32 WIDTH HEIGHT [exact]
The mid-level A is the first histogram level (Round(v * 255 / max)) whose
running count exceeds 95 % of the pixels, taken over the pixels above level 0
when level 0 alone holds that many; B is one level above the first level
holding at least 1/255 of the pixels; K the maximum. Prints A B K, A and B
rounded to two decimals, or as they are with "exact"."""
import sys

import numpy as np

path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
img = np.fromfile(path, dtype=np.float32).reshape(h, w).astype(np.float64)
mx = max(0.0, img.max())
scale = np.float64(np.float32(255.0 / mx))
counts = np.bincount(np.clip(np.rint(img * scale), 0, 255).astype(int).ravel(), minlength=256)


def level(c, n):
    over = np.nonzero(np.cumsum(c) > 0.95 * n)[0]
    return int(over[0]) if len(over) else -1


a = level(counts, img.size)
if a == 0:
    above = counts.copy()
    above[0] = 0
    a = level(above, above.sum())
kept = np.where(counts < counts.sum() / 255.0, 0, counts)
j = next((i for i in range(254) if kept[i] != 0), 254)
if len(sys.argv) > 4 and sys.argv[4] == "exact":
    print(repr(a / scale), repr((j + 1) / scale), repr(float(mx)))
else:
    print(repr(round(a / scale, 2)), repr(round((j + 1) / scale, 2)), repr(mx))
