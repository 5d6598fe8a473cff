"""Compares our decoding of a Photo CD pack (OURS, R,G,B rows) with
ImageMagick's (THEIRS, R,G,B rows). ImageMagick's YCC table is not our
colour formula, but both are affine in Y, C1 and C2, so each of its channels
must be an affine function of our three channels: prints the largest and the
mean residual of the least-squares fit over pixels that neither side clamped."""
import sys

import numpy as np

ours = np.frombuffer(open(sys.argv[1], "rb").read(), np.uint8).reshape(-1, 3).astype(np.float64)
theirs = np.frombuffer(open(sys.argv[2], "rb").read(), np.uint8).reshape(-1, 3).astype(np.float64)
keep = np.all((ours > 0) & (ours < 255) & (theirs > 0) & (theirs < 255), axis=1)
if keep.sum() < 0.9 * len(ours):
    raise SystemExit("too many clamped pixels for a fit")
A = np.hstack([ours[keep], np.ones((keep.sum(), 1))])
worst = mean = 0.0
for c in range(3):
    coef, *_ = np.linalg.lstsq(A, theirs[keep, c], rcond=None)
    res = np.abs(A @ coef - theirs[keep, c])
    worst = max(worst, res.max())
    mean = max(mean, res.mean())
print(f"{worst:.3f} {mean:.3f}")
