"""float32 numpy replica of the grey histogram equalisation and matching.

usage: histspec.py MODE IN.f32 OUT.f32 [CENTRE WIDTH]
MODE: equalise, linear, gaussian, exponential, parabolic, cubic.
Expressions the program evaluates in extended precision use np.longdouble
(the same 80-bit format on amd64) and are rounded once to float32.
"""
import sys

import numpy as np

BINS = 4096


def bins_of(v, s):
    prod = (v.astype(np.float64) * np.float64(s)).astype(np.float32)  # the product held as a Single
    return np.clip(np.rint(prod).astype(np.int64), 0, BINS - 1)


L = np.longdouble


def restore(dst, a):
    m = max(np.float32(0), dst.max())
    return (dst.astype(L) * (L(a) / L(m))).astype(np.float32)


def equalise(img):
    a = max(np.float32(0), img.max())
    if a == 0:
        return img.copy()
    s = np.float32(L(4095) / L(a))
    b = bins_of(img, s)
    h = np.bincount(b, minlength=BINS).astype(np.int64)
    c = np.zeros(BINS, np.int64)
    c[0] = h[0]
    for i in range(1, BINS):
        c[i] = c[i - 1] + h[i - 1] + h[i]
    dst = (c[b].astype(L) / L(s)).astype(np.float32)
    return restore(dst, a)


def match(target, img):
    dst = equalise(img)
    a = max(np.float32(0), dst.max())
    if a == 0:
        return dst
    s = np.float32(L(4095) / L(a))
    big = np.rint(np.cumsum(target.astype(np.float64))).astype(np.float32)
    big = (L(4095) / L(big.max()) * big.astype(L)).astype(np.float32)
    inv = np.zeros(BINS, np.int64)
    for i in range(BINS):
        inv[int(np.rint(big[i]))] = i
    for k in range(1, BINS):
        if inv[k] == 0 and np.float32(k) != big[k]:
            inv[k] = inv[k - 1]
    dst = (inv[bins_of(dst, s)].astype(L) / L(s)).astype(np.float32)
    return restore(dst, a)


def target(mode, a, args):
    i = np.arange(BINS).astype(L)
    if mode == "linear":
        t = a - i * (a / L(4095))
    elif mode == "gaussian":
        centre, width = L(args[0]), L(args[1])
        w = width / L(16)
        d = i - L(16) * centre
        t = a * np.exp(w * w * (-(d * d) / L(2)))
    elif mode == "exponential":
        t = a * np.exp(-np.abs(i / L(35)) / L(35))
    else:
        b = (L(4095) - i) / L(2048) + L(1)
        p = b * b if mode == "parabolic" else b * b * b
        t = a - a / p
    return t.astype(np.float32)


mode, src, out = sys.argv[1:4]
img = np.fromfile(src, dtype=np.float32)
if mode == "equalise":
    res = equalise(img)
else:
    a = L(max(np.float32(0), img.max()))
    res = match(target(mode, a, sys.argv[4:]), img)
res.astype(np.float32).tofile(out)
