#!/usr/bin/python3
"""Frequency-domain filters computed independently in float64 with numpy.
Usage: fft_filter.py KIND TYPE CUTOFF EMPH ORDER PW PH OX OY W H padded out
KIND 'fft' (TYPE 0..3) or 'homo' (EMPH is the floor). The padded float32
image is centred with the checkerboard, transformed, multiplied by the gain of
the distance from the centre sample, transformed back, cut out, clamped at 0
(fft) or exponentiated (homo), and rescaled so its maximum is the padded
input's maximum."""
import sys
import numpy as np

kind, ftype = sys.argv[1], int(sys.argv[2])
cutoff, emph, order = (float(np.float32(float(a))) for a in sys.argv[3:6])
pw, ph, ox, oy, w, h = (int(a) for a in sys.argv[6:12])
work = np.fromfile(sys.argv[12], dtype=np.float32).astype(np.float64).reshape(ph, pw)
pin = max(0.0, work.max())
y, x = np.indices((ph, pw))
chk = np.where((x + y) % 2, -1.0, 1.0)
if kind == "homo":
    work = np.log(work + 0.5)
spectrum = np.fft.fft2(work * chk)
d = np.sqrt((y - ph // 2) ** 2.0 + (x - pw // 2) ** 2.0)
with np.errstate(divide="ignore"):
    if kind == "homo":
        gain = np.where(d == 0, 0.0, 1 / (1 + (cutoff / d) ** (2 * order)) + emph)
    elif ftype == 0:
        gain = np.where(d <= cutoff, 1.0, 0.0)
    elif ftype == 1:
        gain = np.where(d <= cutoff, emph, 1 + emph)
    elif ftype == 2:
        gain = 1 / (1 + (d / cutoff) ** (2 * order))
    else:
        gain = np.where(d == 0, emph, 1 / (1 + (cutoff / d) ** (2 * order)) + emph)
res = np.real(np.fft.ifft2(spectrum * gain)) * chk
block = res[oy:oy + h, ox:ox + w]
block = np.exp(block) if kind == "homo" else np.maximum(block, 0)
out = block * (pin / max(0.0, block.max()))
out.astype(np.float32).tofile(sys.argv[13])
