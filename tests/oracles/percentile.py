#!/usr/bin/python3
"""The 95 % level and the median of a grey image, by numpy.
usage: percentile.py IMAGE.f32 WIDTH HEIGHT [above]
The 95 % level is the smallest pixel value at or below which 95 % of the
pixels lie (numpy's inverted_cdf percentile); with "above", of the pixels
above 0 only. Prints: 95 % level, median."""
import sys

import numpy as np

path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
img = np.fromfile(path, dtype=np.float32).reshape(h, w).astype(np.float64)
if len(sys.argv) > 4 and sys.argv[4] == "above":
    img = img[img > 0]
print(repr(float(np.percentile(img, 95, method="inverted_cdf"))), repr(float(np.median(img))))
