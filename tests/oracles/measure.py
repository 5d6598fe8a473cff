"""Independent numpy/scipy reference for the centroids and the aperture sums.

usage: measure.py MODE IMAGE.f32 WIDTH HEIGHT ARGS...
  centroid X1 Y1 X2 Y2   -> "x y" or "fail"  (unweighted mean position above 1.1 mean)
  star X Y BOX           -> "x y" or "fail"  (scipy centre of mass above 1.1 mean)
  aperture X Y R RIN ROUT -> "flux sky entries" or "fail"
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
        corners = np.stack([I ** 2 + J ** 2, (I + 1) ** 2 + J ** 2, I ** 2 + (J + 1) ** 2,
                            (I + 1) ** 2 + (J + 1) ** 2])
        cmin, cmax = corners.min(axis=0), corners.max(axis=0)
        sub = 0.1 + 0.2 * np.arange(5)
        k = (((I[..., None, None] + sub[:, None]) ** 2 + (J[..., None, None] + sub[None, :]) ** 2)
             <= r * r).sum(axis=(2, 3))
        inside = (cmax < r * r) & (cmin > 0)
        value = np.where(inside, vals, np.where(k > 0, vals * k / 25.0, vals))
        weight = np.where(inside, 1.0, np.where(k > 0, k / 25.0, 1.0))
        take = (cmin <= r * r).ravel()
        value, weight = value.ravel()[take], weight.ravel()[take]
        cap = int(np.rint(r * r * np.pi))
        value, weight = value[:cap], weight[:cap]
        flux = float(np.sum(value - sky_value * weight))
        print(repr(flux), repr(float(sky_value)), int(take.sum()))
    else:
        sys.exit("unknown mode")


main()
