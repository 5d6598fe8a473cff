#!/usr/bin/python3
"""Independent transforms with numpy, for cross-checking the engine.

fft2 IN OUT W H       : IN holds W*H float32 pixels (row-major); OUT gets the
                        unshifted, unscaled 2-D DFT as complex128.
ifft2 IN OUT W H      : IN holds W*H complex64 values; OUT gets the real part
                        of the scaled inverse 2-D DFT as float64.
twiddles OUT          : OUT gets float32 cos(pi/2^k) and sin(pi/2^k) for
                        k = 0..13, each the nearest float32 of the exact value.
"""
import sys
import numpy as np


def nearest_float32(mp, v):
    f = np.float32(float(v))
    best = f
    for g in (np.nextafter(f, np.float32(-np.inf)), np.nextafter(f, np.float32(np.inf))):
        if abs(mp.mpf(float(g)) - v) < abs(mp.mpf(float(best)) - v):
            best = g
    return best


def main():
    cmd = sys.argv[1]
    if cmd == "fft2":
        w, h = int(sys.argv[4]), int(sys.argv[5])
        a = np.fromfile(sys.argv[2], dtype=np.float32).reshape(h, w).astype(np.float64)
        np.fft.fft2(a).astype(np.complex128).tofile(sys.argv[3])
    elif cmd == "ifft2":
        w, h = int(sys.argv[4]), int(sys.argv[5])
        a = np.fromfile(sys.argv[2], dtype=np.complex64).reshape(h, w).astype(np.complex128)
        np.fft.ifft2(a).real.astype(np.float64).tofile(sys.argv[3])
    elif cmd == "twiddles":
        import mpmath as mp
        mp.mp.dps = 60
        out = []
        for k in range(14):
            a = mp.pi / mp.mpf(2) ** k
            out.append(nearest_float32(mp, mp.cos(a)))
            out.append(nearest_float32(mp, mp.sin(a)))
        np.array(out, dtype=np.float32).tofile(sys.argv[2])
    else:
        sys.exit("unknown command")


main()
