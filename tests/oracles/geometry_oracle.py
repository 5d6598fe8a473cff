#!/usr/bin/python3
"""Independent resampling with scipy, and a numpy replica of the rotation
formulas in extended precision, for cross-checking the engine.

resample IN OUT W H NW NH CH : IN holds CH planes of W*H float32 values; OUT
                               gets CH planes of NW*NH float64 values from
                               scipy.ndimage.map_coordinates (bilinear, corner
                               aligned, zero outside).
rotate IN OUT W H ANGLE      : IN holds W*H float32; OUT gets int32 NW, NH and
                               NW*NH float32 values of the nearest-neighbour
                               rotation about the centre.
"""
import sys
import numpy as np


def resample(args):
    src, out = args[0], args[1]
    w, h, nw, nh, ch = (int(a) for a in args[2:7])
    planes = np.fromfile(src, dtype=np.float32).reshape(ch, h, w).astype(np.float64)
    import scipy.ndimage as ndi
    fx = np.arange(nw, dtype=np.float32) * np.float32(w / nw)
    fy = np.arange(nh, dtype=np.float32) * np.float32(h / nh)
    gy, gx = np.meshgrid(fy.astype(np.float64), fx.astype(np.float64), indexing="ij")
    res = [ndi.map_coordinates(p, [gy, gx], order=1, mode="grid-constant", cval=0.0) for p in planes]
    np.array(res, dtype=np.float64).tofile(out)


def rotate(args):
    src, out = args[0], args[1]
    w, h = int(args[2]), int(args[3])
    angle = np.float32(float(args[4]))
    img = np.fromfile(src, dtype=np.float32).reshape(h, w)
    a = -np.longdouble(angle) * np.longdouble("3.141592653589793238462643383279502884") / 180
    s = np.float64(np.sin(a))
    c = np.float64(np.cos(a))
    L = np.longdouble
    nw = int(abs(np.rint(L(h) * L(s))) + abs(np.rint(L(w) * L(c))))
    nh = int(abs(np.rint(L(w) * L(s))) + abs(np.rint(L(h) * L(c))))
    hw, hh = w // 2, h // 2
    ox = int((nw - w) / 2)  # truncation toward zero
    oy = int((nh - h) / 2)
    res = np.zeros((nh, nw), dtype=np.float32)
    for y in range(nh):
        v = 2 * (y - oy - hh) + 1
        for x in range(nw):
            u = 2 * (x - ox - hw) + 1
            su = int(np.rint(L(u) * L(c) - L(v) * L(s)))
            sv = int(np.rint(L(u) * L(s) + L(v) * L(c)))
            sx = int((su - 1) / 2) + hw
            sy = int((sv - 1) / 2) + hh
            if 0 <= sx < w and 0 <= sy < h:
                res[y, x] = img[sy, sx]
    with open(out, "wb") as f:
        np.array([nw, nh], dtype=np.int32).tofile(f)
        res.tofile(f)


cmd = sys.argv[1]
if cmd == "resample":
    resample(sys.argv[2:])
elif cmd == "rotate":
    rotate(sys.argv[2:])
else:
    sys.exit("unknown command")
