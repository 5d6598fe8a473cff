#!/usr/bin/python3
"""Times scikit-image's richardson_lucy on the benchmark's image and PSF.

IN W H PSF K ITER: IN holds W*H float32, PSF holds K*K float32. Prints the
seconds of one call with ITER iterations."""
import sys
import time
import numpy as np
from skimage.restoration import richardson_lucy

w, h, k, n = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[5]), int(sys.argv[6])
img = np.fromfile(sys.argv[1], dtype=np.float32).reshape(h, w)
psf = np.fromfile(sys.argv[4], dtype=np.float32).reshape(k, k)
t = time.perf_counter()
richardson_lucy(img, psf, num_iter=n, clip=False)
print(f"{time.perf_counter() - t:.6f}")
