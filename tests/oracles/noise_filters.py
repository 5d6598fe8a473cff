#!/usr/bin/python3
"""Noise filters computed independently with scipy.ndimage.generic_filter on
the interior of a grey image; values are summed in window order (rows outer)
in extended precision. Usage: noise_filters.py KIND N P1 P2 WHITE W H in out
KIND: noise (P1 deviation), ch (P1 order), at (P1 trim), dwmtm (P1 deviation,
P2 threshold; N ignored), wiener (P1 noise variance: scipy.signal.wiener)."""
import sys
import numpy as np
from scipy import ndimage, signal

ld = np.longdouble
kind, n = sys.argv[1], int(sys.argv[2])
p1, p2, white = float(np.float32(float(sys.argv[3]))), float(np.float32(float(sys.argv[4]))), ld(float(sys.argv[5]))
w, h = int(sys.argv[6]), int(sys.argv[7])
img = np.fromfile(sys.argv[8], dtype=np.float32).reshape(h, w).astype(np.float64)


def seqsum(vals):
    s = ld(0)
    for v in vals:
        s += ld(v)
    return s


def clamp(v):
    return float(np.float32(min(max(v, ld(0)), white)))


def power(b, e):
    # whole exponents: square and multiply in extended precision
    if e == 0:
        return ld(1)
    if b == 0:
        return ld(0)
    r, base, k = ld(1), ld(b), abs(e)
    while k:
        if k & 1:
            r *= base
        base *= base
        k >>= 1
    return ld(1) / r if e < 0 else r


def noise(v):
    m = seqsum(v) / ld(v.size)
    s = np.sqrt(seqsum([(ld(x) - m) ** 2 for x in v]) / ld(v.size))
    p = ld(v[v.size // 2])
    dev = ld(p1)
    return float(np.float32(m)) if (p > m + dev * s or p < m - dev * s) else float(p)


def ch(v):
    q = int(p1)
    if q < 0 and np.any(v == 0):
        return 0.0
    s1 = seqsum([power(x, q + 1) for x in v])
    s2 = seqsum([power(x, q) for x in v])
    return 0.0 if s2 == 0 else clamp(s1 / s2)


def at(v):
    t = int(p1)
    if 2 * t >= v.size:
        return 0.0
    srt = np.sort(v)
    return clamp(seqsum(srt[t:v.size - t]) / (ld(v.size - 2 * t) + ld(0.5)))


def dwmtm(v):
    win = v.reshape(5, 5)
    d = ld(np.sort(win[1:4, 1:4].ravel())[4])
    b = ld(np.float32(p1)) * ld(np.float32(p2))
    inside = [x for x in v if d - b <= ld(x) <= d + b]
    s = seqsum(inside)
    return 0.0 if s == 0 else clamp(s / ld(len(inside)))


if kind == "wiener":
    out = signal.wiener(img, mysize=n, noise=p1)
else:
    size = 5 if kind == "dwmtm" else n
    out = ndimage.generic_filter(img, {"noise": noise, "ch": ch, "at": at, "dwmtm": dwmtm}[kind], size=size,
                                 mode="constant")
out.astype(np.float64).tofile(sys.argv[9])
