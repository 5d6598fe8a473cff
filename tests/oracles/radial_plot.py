#!/usr/bin/python3
"""The radial plot of a grey image computed independently with numpy.

radial_plot.py PLANE W H CX CY R: PLANE holds W x H float32 values; CX, CY
is the centroid. The disc is the ellipse inscribed in the rectangle from
(round(CX - R), round(CY - R)) to (round(CX + R), round(CY + R)) (halves to
even), a pixel belonging when its centre (x + 0.5, y + 0.5) lies inside or on
it, walked over rows round(CY) - R .. round(CY) + R and the same columns.
The model A exp(-d^2 / (2 sigma^2)) + B is fitted to the points with scipy's
least squares, d measured from the centre that fits best within a pixel of
the centroid (from the centroid where none fits better).
Prints: pixel count, minimum, maximum, sigma, FWHM, model curve points, the
curve's peak A + B."""
import sys
import numpy as np
from scipy.optimize import curve_fit

plane = np.fromfile(sys.argv[1], dtype=np.float32).reshape(int(sys.argv[3]), int(sys.argv[2]))
cx, cy = np.float32(sys.argv[4]), np.float32(sys.argv[5])
r = int(sys.argv[6])
left, right = int(np.rint(np.float64(cx) - r)), int(np.rint(np.float64(cx) + r))
top, bottom = int(np.rint(np.float64(cy) - r)), int(np.rint(np.float64(cy) + r))
a, b = (right - left) / 2.0, (bottom - top) / 2.0
ys, xs = np.mgrid[int(np.rint(cy)) - r:int(np.rint(cy)) + r + 1, int(np.rint(cx)) - r:int(np.rint(cx)) + r + 1]
inside = ((xs + 0.5 - (left + a)) / a) ** 2 + ((ys + 0.5 - (top + b)) / b) ** 2 <= 1.0
v = plane[ys[inside], xs[inside]].astype(np.float64)
d = np.hypot(xs[inside] - np.float64(cx), ys[inside] - np.float64(cy))
(amp, sigma, base), _ = curve_fit(lambda d, a, s, b: a * np.exp(-d * d / (2 * s * s)) + b, d, v,
                                  p0=[v.max() - v.min(), r / 2, v.min()], maxfev=20000)
dx, dy = xs[inside] - np.float64(cx), ys[inside] - np.float64(cy)
try:
    (amp2, sigma2, base2, ox, oy), _ = curve_fit(
        lambda xy, a, s, b, ox, oy: a * np.exp(-((xy[0] - ox) ** 2 + (xy[1] - oy) ** 2) / (2 * s * s)) + b,
        np.vstack([dx, dy]), v, p0=[amp, sigma, base, 0.0, 0.0], maxfev=20000)
    before = np.sum((v - (amp * np.exp(-d * d / (2 * sigma * sigma)) + base)) ** 2)
    after = np.sum((v - (amp2 * np.exp(-((dx - ox) ** 2 + (dy - oy) ** 2) / (2 * sigma2 * sigma2)) + base2)) ** 2)
    if abs(ox) <= 1 and abs(oy) <= 1 and after <= before:
        amp, sigma, base = amp2, sigma2, base2
except RuntimeError:
    pass
sigma = abs(sigma)
fwhm = 2 * sigma * np.sqrt(2 * np.log(2))
t, points = np.float32(0), 0
while t <= 2 * r:
    points += 1
    t = np.float32(np.float64(t) + 0.05)
print(v.size, v.min(), v.max(), repr(sigma), repr(fwhm), points, repr(amp + base))
