#!/usr/bin/python3
"""Colour pixel and image arithmetic computed independently with numpy, per
byte: sides through their operator in float32 (divide constants of 0 count as
1), a zero divisor byte counts as 1, Round halves to even, clip to 0..255.
pixel OP K in out | image OPA OPB COMB KA KB a b out (bytes)."""
import sys
import numpy as np

ld, f32 = np.longdouble, np.float32


def side(op, v, k):
    v, k = v.astype(ld), ld(f32(k))
    if op == 3 and k == 0:
        k = ld(1)
    return [v + k, v - k, v * k, v / k][op].astype(f32) if op <= 3 else v.astype(f32)


if sys.argv[1] == "pixel":
    op, k = int(sys.argv[2]), ld(f32(float(sys.argv[3])))
    c = np.fromfile(sys.argv[4], dtype=np.uint8).astype(ld)
    if op == 3 and k == 0:
        k = ld(1)
    r = [c + k, c - k, c * k, c / k, np.log10(c + 1), np.sqrt(c)][op]
    np.clip(np.rint(r), 0, 255).astype(np.uint8).tofile(sys.argv[5])
else:
    opa, opb, comb = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    ka, kb = float(sys.argv[5]), float(sys.argv[6])
    a = side(opa, np.fromfile(sys.argv[7], dtype=np.uint8), ka).astype(ld)
    b = side(opb, np.fromfile(sys.argv[8], dtype=np.uint8), kb)
    if comb == 3:
        b = np.where(b == 0, f32(1), b)
    b = b.astype(ld)
    r = [a + b, a - b, a * b, a / b][comb]
    np.clip(np.rint(r), 0, 255).astype(np.uint8).tofile(sys.argv[9])
