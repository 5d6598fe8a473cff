#!/usr/bin/python3
"""A series of FITS frames written with astropy and its combinations computed
with numpy. Usage: series.py DIR N W H SEED [BIG]. Writes DIR/fK.fits for
K = 0..N-1 (BITPIX 16 with BZERO 32768, 8 and -32 in turn; the float frames
hold fractions and negative values) and DIR/add.f32, mean.f32, median.f32,
minimum.f32, maximum.f32 (float32, row-major). The median is the value at
N // 2 of the ascending order, not numpy's mean of the two middle values; the
minimum starts from 2e32 and the maximum from 0."""
import sys
import numpy as np
from astropy.io import fits

d, n, w, h, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rng = np.random.default_rng(seed)
frames = []
for k in range(n):
    kind = k % 3
    if kind == 0:
        v = rng.integers(0, 65536, size=(h, w)).astype(np.int64)
        hdu = fits.PrimaryHDU((v - 32768).astype(np.int16))
        hdu.header['BZERO'] = 32768
        hdu.header['BSCALE'] = 1
        vals = v.astype(np.float32)
    elif kind == 1:
        v = rng.integers(0, 256, size=(h, w)).astype(np.uint8)
        hdu = fits.PrimaryHDU(v)
        vals = v.astype(np.float32)
    else:
        v = (rng.standard_normal((h, w)) * 3000.0 + 500.0).astype(np.float32)
        hdu = fits.PrimaryHDU(v)
        vals = v
    hdu.writeto(f"{d}/f{k}.fits", overwrite=True)
    frames.append(vals)

# The array's row 0 is the file's first row, the program's row 0.
stack = np.stack(frames)
s = stack.astype(np.float64).sum(0)
s.astype(np.float32).tofile(f"{d}/add.f32")
(s / n).astype(np.float32).tofile(f"{d}/mean.f32")
np.sort(stack, 0)[n // 2].astype(np.float32).tofile(f"{d}/median.f32")
np.minimum.reduce(stack, axis=0, initial=np.float32(2e32)).astype(np.float32).tofile(f"{d}/minimum.f32")
np.maximum.reduce(stack, axis=0, initial=np.float32(0)).astype(np.float32).tofile(f"{d}/maximum.f32")
