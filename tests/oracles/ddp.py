#!/usr/bin/python3
"""The DDP proposal for a grey image, in numpy.
usage: ddp.py IMAGE.f32 WIDTH HEIGHT [exact]
The mid-level A is the first histogram level (Round(v * 255 / max)) whose
running count exceeds 95 % of the pixels; B is one level above the first level
holding at least 1/255 of the pixels; K the maximum. Where level 0 holds more
than 95 % of the pixels, both come from 256 levels over level 0's values
(510 times the scale), again over the lowest of those while it still holds
95 %. Where more than 95 % of the pixels are at or below 0, A is the 95 %
level of the pixels above 0 instead, found the same way, and B is taken over
all the pixels at the scale A was found at. Prints A B K and the width of the
bins A and B come from; A and B rounded to two decimals, or as they are with
"exact"."""
import sys

import numpy as np

path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
img = np.fromfile(path, dtype=np.float32).reshape(h, w).astype(np.float64).ravel()
mx = max(0.0, img.max())
scale = np.float64(np.float32(255.0 / mx))


def bins(values, s):
    return np.bincount(np.clip(np.rint(values * s), 0, 255).astype(int), minlength=256)


def level(c, n):
    over = np.nonzero(np.cumsum(c) > 0.95 * n)[0]
    return int(over[0]) if len(over) else -1


def background(c, total):
    kept = np.where(c < total / 255.0, 0, c)
    return next((i for i in range(254) if kept[i] != 0), 254)


counts = bins(img, scale)
a = level(counts, img.size)
j = background(counts, img.size)
pos = img[img > 0]
border = np.count_nonzero(img <= 0) > 0.95 * img.size and pos.size > 0
# The pixels A is the level of: all, or those above 0 for a frame mostly at
# or below 0.
of = pos if border else img
if border:
    a = level(bins(pos, scale), pos.size)
if a == 0 and (border or np.count_nonzero(img <= 0) <= 0.95 * img.size):
    outer = scale
    while a == 0:
        scale = 510 * outer
        a = level(bins(of[of * outer <= 0.5], scale), of.size)
        j = background(bins(img[img * outer <= 0.5], scale), img.size)
        outer = scale
elif a == 0:
    above = counts.copy()
    above[0] = 0
    a = level(above, above.sum())
if len(sys.argv) > 4 and sys.argv[4] == "exact":
    print(repr(a / scale), repr((j + 1) / scale), repr(float(mx)), repr(1 / scale))
else:
    print(repr(round(a / scale, 2)), repr(round((j + 1) / scale, 2)), repr(mx), repr(1 / scale))
