#!/usr/bin/python3
"""Calibration frames written with astropy and the calibrated image computed
with numpy. Usage: calframes.py DIR W H SEED. Writes DIR/image.f32 (the image,
float32 row-major), bias.fits (BITPIX 16, BZERO 32768), dark.fits (BITPIX 8),
flat.fits (BITPIX -32, fractions about 1.0), short.fits (a flat one row
shorter) and the results bias.f32 (image - bias), biasdark.f32 (then - dark),
all.f32 (then divided by the flat), each subtraction clamped at 0 in float32.
The flat mean is the running total of flat x 10000 rounded at every step
(halves to even), rounded again after division by the pixel count; each flat
pixel over that mean x 10000 is a float32, and 0 counts as 1."""
import sys
import numpy as np
from astropy.io import fits

d, w, h, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = np.random.default_rng(seed)
img = (rng.integers(0, 60000, size=(h, w)) + rng.integers(0, 4, size=(h, w)) * 0.25).astype(np.float32)
bias = rng.integers(0, 2000, size=(h, w)).astype(np.int64)
dark = rng.integers(0, 256, size=(h, w)).astype(np.uint8)
flat = (1.0 + rng.standard_normal((h, w)) * 0.1).astype(np.float32)
flat[0, 0] = 0  # a dead pixel of the flat leaves the image pixel as it is

img.tofile(f"{d}/image.f32")
hdu = fits.PrimaryHDU((bias - 32768).astype(np.int16))
hdu.header['BZERO'] = 32768
hdu.header['BSCALE'] = 1
hdu.writeto(f"{d}/bias.fits", overwrite=True)
fits.PrimaryHDU(dark).writeto(f"{d}/dark.fits", overwrite=True)
fits.PrimaryHDU(flat).writeto(f"{d}/flat.fits", overwrite=True)
fits.PrimaryHDU(flat[:-1]).writeto(f"{d}/short.fits", overwrite=True)

zero = np.float32(0)
r1 = np.maximum(img - bias.astype(np.float32), zero).astype(np.float32)
r1.tofile(f"{d}/bias.f32")
r2 = np.maximum(r1 - dark.astype(np.float32), zero).astype(np.float32)
r2.tofile(f"{d}/biasdark.f32")

ld = np.longdouble
s = ld(0)
for v in flat.ravel().astype(ld):
    s = np.rint(s + v * ld(10000))
m = np.rint(s / ld(w * h))
f = (flat.astype(ld) / m * ld(10000)).astype(np.float32)
f[f == 0] = np.float32(1)
(r2.astype(ld) / f.astype(ld)).astype(np.float32).tofile(f"{d}/all.f32")
