"""float32 numpy replica of the grey histogram equalisation and matching.

usage: histspec.py MODE IN.f32 OUT.f32   (MODE: equalise, linear)
"""
import sys

import numpy as np

BINS = 4096


def bins_of(v, s):
    prod = (v.astype(np.float64) * np.float64(s)).astype(np.float32)  # the product held as a Single
    return np.clip(np.rint(prod).astype(np.int64), 0, BINS - 1)


def restore(dst, a):
    m = max(np.float32(0), dst.max())
    return (dst.astype(np.float64) * (np.float64(a) / np.float64(m))).astype(np.float32)


def equalise(img):
    a = max(np.float32(0), img.max())
    if a == 0:
        return img.copy()
    s = np.float32(4095.0 / np.float64(a))
    b = bins_of(img, s)
    h = np.bincount(b, minlength=BINS).astype(np.int64)
    c = np.zeros(BINS, np.int64)
    c[0] = h[0]
    for i in range(1, BINS):
        c[i] = c[i - 1] + h[i - 1] + h[i]
    dst = (c[b].astype(np.float64) / np.float64(s)).astype(np.float32)
    return restore(dst, a)


def match(target, img):
    dst = equalise(img)
    a = max(np.float32(0), dst.max())
    if a == 0:
        return dst
    s = np.float32(4095.0 / np.float64(a))
    big = np.rint(np.cumsum(target.astype(np.float64)))
    big = (4095.0 / big.max() * big).astype(np.float32)
    inv = np.zeros(BINS, np.int64)
    for i in range(BINS):
        inv[int(np.rint(big[i]))] = i
    for k in range(1, BINS):
        if inv[k] == 0 and np.float32(k) != big[k]:
            inv[k] = inv[k - 1]
    dst = (inv[bins_of(dst, s)].astype(np.float64) / np.float64(s)).astype(np.float32)
    return restore(dst, a)


mode, src, out = sys.argv[1:4]
img = np.fromfile(src, dtype=np.float32)
if mode == "equalise":
    res = equalise(img)
else:
    a = np.float64(max(np.float32(0), img.max()))
    target = (a - np.arange(BINS) * (a / 4095.0)).astype(np.float32)
    res = match(target, img)
res.astype(np.float32).tofile(out)
