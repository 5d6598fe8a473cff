"""Decodes the base image of a Photo CD pack with numpy, written from the
documented layout and colour formula, as R,G,B rows of 768 x 512 (rotation
code 0): python3 pcd_decode.py PACK OUT.rgb"""
import sys

import numpy as np

data = np.frombuffer(open(sys.argv[1], "rb").read(), dtype=np.uint8)
groups = data[196608:196608 + 256 * 2304].reshape(256, 2304).astype(np.int64)
Y = np.empty((512, 768), dtype=np.int64)
Y[0::2] = groups[:, 0:768]
Y[1::2] = groups[:, 768:1536]
C1 = groups[:, 1536:1920]
C2 = groups[:, 1920:2304]


def rows(C):
    """Chrominance of every pixel: horizontal then vertical integer averages."""
    ext = np.concatenate([C, C[:, -1:]], axis=1)  # last sample repeated
    nxt = np.concatenate([ext[1:], ext[-1:]], axis=0)  # the last group uses itself
    out = np.empty((512, 768), dtype=np.int64)
    k = np.arange(384)
    out[0::2, 0::2] = ext[:, k]
    out[0::2, 1::2] = (ext[:, k] + ext[:, k + 1]) // 2
    out[1::2, 0::2] = (ext[:, k] + nxt[:, k]) // 2
    out[1::2, 1::2] = (ext[:, k] + ext[:, k + 1] + nxt[:, k] + nxt[:, k + 1]) // 4
    return out


c1 = rows(C1)
c2 = rows(C2)
# Exact arithmetic in units of 1e-7 (the constants have seven decimals at most),
# rounded half to even, then clamped.
L = 13584000 * Y
num = np.dstack([L + 18215000 * (c2 - 137),
                 L - 9271435 * (c2 - 137) - 4302726 * (c1 - 156),
                 L + 22179000 * (c1 - 156)])
q, r = np.divmod(num, 10000000)
q = q + ((2 * r > 10000000) | ((2 * r == 10000000) & (q % 2 == 1)))
rgb = np.clip(q, 0, 255).astype(np.uint8)
open(sys.argv[2], "wb").write(rgb.tobytes())
