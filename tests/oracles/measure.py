"""Independent numpy/scipy reference for the centroids and the aperture sums.

usage: measure.py MODE IMAGE.f32 WIDTH HEIGHT ARGS...
  centroid X1 Y1 X2 Y2   -> "x y" or "fail"  (unweighted mean position above 1.1 mean)
  star X Y BOX           -> "x y" or "fail"  (scipy centre of mass above 1.1 mean)
  aperture X Y R RIN ROUT -> "flux sky squares" or "fail"
"""
import sys

import numpy as np
from scipy import ndimage


def threshold(region):
    # Single-precision running sum in row order, as the program keeps it.
    total = np.cumsum(region.astype(np.float32).ravel(), dtype=np.float32)[-1]
    mean = np.float32(np.float64(total) / region.size)
    return np.float32(np.float64(mean) + 0.1 * np.float64(mean))


def clamp(v, side):
    return 0 if v < 0 else (side - 1 if v >= side else v)


def main():
    mode, path, w, h = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    args = [float(a) for a in sys.argv[5:]]
    img = np.fromfile(path, dtype=np.float32).reshape(h, w)
    if mode == "centroid":
        x1, y1, x2, y2 = (int(a) for a in args)
        region = img[y1:y2 + 1, x1:x2 + 1]
        pts = np.argwhere(region > threshold(region))
        if len(pts) == 0:
            print("fail")
            return
        row, col = pts.mean(axis=0)
        print(col + x1, row + y1)
    elif mode == "star":
        x, y, box = args
        half = int(box / 2)
        x1, x2 = clamp(int(np.rint(x - half)), w), clamp(int(np.rint(x + half)), w)
        y1, y2 = clamp(int(np.rint(y - half)), h), clamp(int(np.rint(y + half)), h)
        region = img[y1:y2 + 1, x1:x2 + 1].astype(np.float64)
        masked = np.where(region > threshold(img[y1:y2 + 1, x1:x2 + 1]), region, 0.0)
        if masked.sum() == 0:
            print("fail")
            return
        row, col = ndimage.center_of_mass(masked)
        print(col + x1, row + y1)
    elif mode == "aperture":
        x, y, r, rin, rout = args[0], args[1], int(args[2]), int(args[3]), int(args[4])
        cx, cy = int(np.rint(x)), int(np.rint(y))
        if cx - rout < 0 or cx + rout > w - 1 or cy - rout < 0 or cy + rout > h - 1:
            print("fail")
            return
        offs = np.arange(-(rout + 1), rout + 2)
        J, I = np.meshgrid(offs, offs, indexing="ij")  # rows outer, columns inner
        px = np.trunc(np.float64(x) + I).astype(int)
        py = np.trunc(np.float64(y) + J).astype(int)
        ok = (px >= 0) & (px < w) & (py >= 0) & (py < h)
        vals = np.where(ok, img[np.clip(py, 0, h - 1), np.clip(px, 0, w - 1)], 0).astype(np.float64)
        d = np.sqrt(I ** 2 + J ** 2)
        sky = np.sort(vals[(d > r) & (d >= rin) & (d <= rout)])
        if len(sky) == 0:
            print("fail")
            return
        n = len(sky)
        m, q = n // 2, n // 4
        sky_value = sky[m - q:m + q + 1].sum() / (2 * q + 1)
        # Star: every pixel's own square (centred on the pixel), weighted by
        # the share of 5 x 5 sub-samples inside the circle; whole squares 1.
        qx, qy = cx + I, cy + J
        a, b = qx - 0.5 - np.float64(x), qy - 0.5 - np.float64(y)
        near = lambda t: np.where(t > 0, t, np.where(t + 1 < 0, -(t + 1), 0.0))
        far = lambda t: np.maximum(np.abs(t), np.abs(t + 1))
        touch = near(a) ** 2 + near(b) ** 2 <= r * r
        whole = far(a) ** 2 + far(b) ** 2 < r * r
        sub = 0.1 + 0.2 * np.arange(5)
        k = (((a[..., None, None] + sub[:, None]) ** 2 + (b[..., None, None] + sub[None, :]) ** 2)
             <= r * r).sum(axis=(2, 3))
        weight = np.where(whole, 1.0, k / 25.0) * touch
        ok = (qx >= 0) & (qx < w) & (qy >= 0) & (qy < h)
        star = np.where(ok, img[np.clip(qy, 0, h - 1), np.clip(qx, 0, w - 1)], 0).astype(np.float64)
        flux = float(np.sum(star * weight - sky_value * weight))
        print(repr(flux), repr(float(sky_value)), int((weight > 0).sum()))
    else:
        sys.exit("unknown mode")


main()
