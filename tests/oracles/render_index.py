#!/usr/bin/python3
"""Display indices of grey values, computed independently with numpy's
extended precision: Round((v - black) * (255 / (white - black))), halves to
even, clamped to 0..255. Reads black, white and float32 values from a file,
writes one index per value as bytes."""
import sys
import numpy as np

raw = np.fromfile(sys.argv[1], dtype=np.float32)
black, white, values = np.longdouble(raw[0]), np.longdouble(raw[1]), raw[2:].astype(np.longdouble)
f = np.longdouble(255) / (white - black)
x = (values - black) * f
x = np.where(np.isnan(x), 0, x)
x = np.clip(x, 0, 255)
np.rint(x).astype(np.uint8).tofile(sys.argv[2])
