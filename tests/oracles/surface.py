#!/usr/bin/python3
"""The 3-D view's surface model, computed independently with numpy.
In: int32 width, height, float32 exaggeration, the image as float32 rows.
Out: int32 columns, rows; float32 heights [128][128] ([column][row]); for a
mesh of at least 2 x 2 also float32 data max, normalised max and min,
normalised heights, normals [128][128][3], float64 colour indices unrounded."""
import sys
import numpy as np

raw = open(sys.argv[1], 'rb').read()
W, H = (int(v) for v in np.frombuffer(raw[:8], np.int32))
exag = np.frombuffer(raw[8:12], np.float32)[0]
img = np.frombuffer(raw[12:], np.float32).reshape(H, W)
N = 128
if H <= W:
    cols, rows = N, int(np.round(H / W * 128))  # half to even
    sx, sy = np.float32(W / 128), np.float32(H / (H / W * 128))
else:
    cols, rows = int(np.round(W / H * 128)), N
    sx, sy = np.float32(W / (W / H * 128)), np.float32(H / 128)
heights = np.zeros((N, N), np.float32)
# Every cell of the mesh, positions summed in single precision; a position
# beyond the last pixel takes the edge pixel.
fy = np.float32(0)
for j in range(rows):
    fx = np.float32(0)
    for i in range(cols):
        heights[i, j] = img[min(int(np.round(fy)), H - 1), min(int(np.round(fx)), W - 1)]
        fx = np.float32(fx + sx)
    fy = np.float32(fy + sy)
out = [np.array([cols, rows], np.int32).tobytes(), heights.tobytes()]
if cols >= 2 and rows >= 2:
    mx = max(np.float32(0), heights[:cols, :rows].max())
    norm = np.zeros((N, N), np.float32)
    norm[:cols, :rows] = (heights[:cols, :rows] / (np.float64(mx) * np.float64(exag))).astype(np.float32)
    nmx, nmn = max(np.float32(0), norm[:cols, :rows].max()), norm[:cols, :rows].min()
    I, J = np.meshgrid(np.arange(N), np.arange(N), indexing='ij')
    P = np.stack([((I - cols // 2) / 128).astype(np.float32), norm,
                  ((J - rows // 2) / 128).astype(np.float32)], axis=-1).astype(np.float64)
    n = np.cross(P[:cols - 1, :rows - 1] - P[:cols - 1, 1:rows], P[:cols - 1, 1:rows] - P[1:cols, 1:rows])
    length = np.linalg.norm(n, axis=-1, keepdims=True)
    normals = np.zeros((N, N, 3))
    normals[:cols - 1, :rows - 1] = n / np.where(length == 0, 1, length)
    normals[:cols - 1, rows - 1] = normals[:cols - 1, rows - 2]
    normals[cols - 1, :rows] = normals[cols - 2, :rows]
    index = np.zeros((N, N))
    index[:cols, :rows] = (255 / (np.float64(nmx) - nmn)) * (norm[:cols, :rows] - np.float64(nmn))
    out += [np.array([mx, nmx, nmn], np.float32).tobytes(), norm.tobytes(),
            normals.astype(np.float32).tobytes(), index.tobytes()]
open(sys.argv[2], 'wb').write(b''.join(out))
