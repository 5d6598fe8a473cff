#!/usr/bin/python3
"""The 3-D view's surface model, computed independently with numpy.

Input file: int32 width, int32 height, float32 exaggeration, then the image as
float32, row-major. Output file: int32 columns, int32 rows, float32 heights
[128][128] indexed [column][row]; when the mesh has at least 2 x 2 points also
float32 data maximum, normalised maximum and minimum, float32 normalised
heights [128][128], float32 normals [128][128][3], and float64 colour index
values before rounding [128][128]."""
import sys
import numpy as np

raw = open(sys.argv[1], 'rb').read()
W, H = np.frombuffer(raw[:8], dtype=np.int32)
W, H = int(W), int(H)
exag = np.frombuffer(raw[8:12], dtype=np.float32)[0]
img = np.frombuffer(raw[12:], dtype=np.float32).reshape(H, W)

N = 128
heights = np.zeros((N, N), np.float32)
if H <= W:
    cols = N
    rows = int(np.round(H / W * 128))          # half to even
    sx = np.float32(W / 128)
    sy = np.float32(H / (H / W * 128))
else:
    rows = N
    cols = int(np.round(W / H * 128))
    sy = np.float32(H / 128)
    sx = np.float32(W / (W / H * 128))

fy = np.float32(0)
j = 0
while fy <= H - 1:
    fx = np.float32(0)
    i = 0
    while fx <= W - 1:
        if i < N and j < N:
            heights[i, j] = img[int(np.round(fy)), int(np.round(fx))]
        i += 1
        fx = np.float32(fx + sx)
    j += 1
    fy = np.float32(fy + sy)

out = [np.array([cols, rows], np.int32).tobytes(), heights.tobytes()]
if cols >= 2 and rows >= 2:
    mesh = heights[:cols, :rows]
    mx = max(np.float32(0), mesh.max())
    div = np.float64(mx) * np.float64(exag) if mx > 0 else 1.0
    norm = np.zeros((N, N), np.float32)
    norm[:cols, :rows] = (mesh.astype(np.float64) / div).astype(np.float32)
    nmx = max(np.float32(0), norm[:cols, :rows].max())
    nmn = norm[:cols, :rows].min()
    cx, cy = cols // 2, rows // 2
    I, J = np.meshgrid(np.arange(N), np.arange(N), indexing='ij')
    P = np.stack([((I - cx) / 128).astype(np.float32), norm,
                  ((J - cy) / 128).astype(np.float32)], axis=-1).astype(np.float64)
    normals = np.zeros((N, N, 3), np.float64)
    A = P[:cols - 1, :rows - 1] - P[:cols - 1, 1:rows]
    B = P[:cols - 1, 1:rows] - P[1:cols, 1:rows]
    n = np.cross(A, B)
    length = np.linalg.norm(n, axis=-1, keepdims=True)
    length[length == 0] = 1
    normals[:cols - 1, :rows - 1] = n / length
    normals[:cols - 1, rows - 1] = normals[:cols - 1, rows - 2]
    normals[cols - 1, :rows] = normals[cols - 2, :rows]
    index = np.zeros((N, N), np.float64)
    if nmx > nmn:
        index[:cols, :rows] = (255 / (np.float64(nmx) - np.float64(nmn))) * (norm[:cols, :rows].astype(np.float64) - np.float64(nmn))
    out += [np.array([mx, nmx, nmn], np.float32).tobytes(), norm.tobytes(),
            normals.astype(np.float32).tobytes(), index.tobytes()]
open(sys.argv[2], 'wb').write(b''.join(out))
