#!/usr/bin/python3
"""Grey pixel and image arithmetic computed independently with numpy.
pixel OP K TYPEMAX in out: OP 0..5 on float32 values, extended precision,
clipped to [0, TYPEMAX].
image OPA OPB COMB KA KB TYPEMAX a b out: each side through its operator and
constant rounded to float32, joined in extended precision (a zero divisor
gives 0), clipped to [0, TYPEMAX]."""
import sys
import numpy as np

ld = np.longdouble
f32 = np.float32


def side(op, v, k):
    v = v.astype(ld)
    k = ld(f32(k))
    if op == 0:
        r = v + k
    elif op == 1:
        r = v - k
    elif op == 2:
        r = v * k
    elif op == 3:
        r = v / k
    else:
        r = v
    return r.astype(f32)


if sys.argv[1] == "pixel":
    op, k, top = int(sys.argv[2]), f32(float(sys.argv[3])), ld(f32(float(sys.argv[4])))
    p = np.fromfile(sys.argv[5], dtype=f32).astype(ld)
    if op == 3 and k == 0:
        k = f32(1)
    k = ld(k)
    r = [p + k, p - k, p * k, p / k, np.log10(p + 1), np.sqrt(p)][op]
    np.clip(r, 0, top).astype(f32).tofile(sys.argv[6])
else:
    opa, opb, comb = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    ka, kb, top = float(sys.argv[5]), float(sys.argv[6]), ld(f32(float(sys.argv[7])))
    a = side(opa, np.fromfile(sys.argv[8], dtype=f32), ka)
    b = side(opb, np.fromfile(sys.argv[9], dtype=f32), kb)
    zero = (b == 0) & (comb == 3)
    a = np.where(zero, f32(0), a).astype(ld)
    b = np.where(zero, f32(1), b).astype(ld)
    r = [a + b, a - b, a * b, a / b][comb]
    np.clip(r, 0, top).astype(f32).tofile(sys.argv[10])
