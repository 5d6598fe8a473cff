"""numpy replica of the colour histogram equalisation and matching for pixels
of pure grey, where hue and saturation drop out: the value bin is the byte
itself and the new value is written to all three channels.

usage: colhistspec_grey.py MODE IN.u8 OUT.u8 [CENTRE WIDTH]
MODE: equalise, linear, gaussian, exponential, parabolic, cubic.
Expressions the program evaluates in extended precision use np.longdouble.
"""
import sys

import numpy as np

BINS = 256
L = np.longdouble


def equalise(v):
    h = np.bincount(v, minlength=BINS).astype(np.int64)
    c = np.zeros(BINS, np.int64)
    c[0] = h[0]
    for i in range(1, BINS):
        c[i] = c[i - 1] + h[i - 1] + h[i]
    cf = (c.astype(L) * L(255) / L(c.max())).astype(np.float32)
    return np.rint(np.clip(cf[v].astype(np.float64), 0, 255)).astype(np.uint8)


def inverse(target):
    big = np.rint(np.cumsum(target.astype(np.float64))).astype(np.float32)
    big = (L(255) / L(big.max()) * big.astype(L)).astype(np.float32)
    inv = np.zeros(BINS, np.int64)
    for i in range(BINS):
        inv[int(np.rint(big[i]))] = i
    for k in range(1, BINS):
        if inv[k] == 0 and np.float32(k) != big[k]:
            inv[k] = inv[k - 1]
    return inv


def target(mode, args):
    i = np.arange(BINS).astype(L)
    if mode == "linear":
        t = L(255) - i
    elif mode == "gaussian":
        centre, width = L(args[0]), L(args[1])
        d = i - centre
        t = L(255) * np.exp(width * width * (-(d * d) / L(2)))
    elif mode == "exponential":
        t = L(255) * np.exp(-(i / L(15)) / L(15))
    else:
        b = (L(255) - i) / L(128) + L(1)
        p = b * b if mode == "parabolic" else b * b * b
        t = L(255) - L(255) / p
    return t.astype(np.float32)


mode, src, out = sys.argv[1:4]
v = np.fromfile(src, dtype=np.uint8).astype(np.int64)
res = equalise(v)
if mode != "equalise":
    res = inverse(target(mode, sys.argv[4:]))[res.astype(np.int64)].astype(np.uint8)
res.tofile(out)
