#!/usr/bin/python3
"""Grey gamma, logarithmic scaling and linear stretch in numpy extended precision.
Arguments: OP PARAM with OP gamma (PARAM the gamma, a Single) or log (PARAM the
factor), or linear LOW HIGH (any pixels). Input float32 pixels (none negative
but for linear); output float32 results."""
import sys
import numpy as np

op, param = sys.argv[3], np.float32(sys.argv[4])
p = np.fromfile(sys.argv[1], dtype=np.float32)
L = np.longdouble
M = L(max(np.float32(0), p.max()))
x = p.astype(L)
if op == "gamma":
    e = L(1) / L(param)
    b = x * (L(1) / M)
    with np.errstate(divide="ignore"):
        r = np.where(b == 0, L(0), np.exp(e * np.log(np.where(b == 0, L(1), b))))
    r = np.maximum(M * r, 0)
elif op == "linear":
    # Clamped to [LOW, HIGH], mapped onto [0, M], M the largest pixel, or,
    # where no pixel is above 0, the span from the smallest up to 0.
    if M == 0:
        M = L(0) - L(min(np.float32(0), p.min()))
    low, high = L(param), L(np.float32(sys.argv[5]))
    r = np.maximum((np.clip(x, low, high) - low) * (M / (high - low)), 0)
else:
    with np.errstate(divide="ignore"):
        r = np.where(x == 0, L(0), np.log(np.where(x == 0, L(1), x)) * L(param))
    r = np.clip(r, 0, M)
r.astype(np.float32).tofile(sys.argv[2])
