#!/usr/bin/python3
"""Float64 numpy replicas of the three deconvolutions with cyclic FFT
convolutions, for cross-checking the engine.

METHOD OBS PSF OUT W H R1 R2 ...: OBS and PSF hold W*H float32 (PSF centred on
pixel (0, 0)); OUT gets, for each round count Rk, the W*H float64 estimate
after Rk rounds. METHOD is lr, mem or vc.
"""
import sys
import numpy as np


def lr(obs, psf, rounds):
    P = np.fft.fft2(psf)
    est = obs.copy()
    for _ in range(rounds):
        blur = np.fft.ifft2(np.fft.fft2(est) * P).real
        blur[blur == 0] = 1.0
        ratio = obs / blur
        est = est * np.fft.ifft2(np.fft.fft2(ratio) * np.conj(P)).real
    return est


def mem(obs, psf, rounds):
    g = obs.copy()
    if (g > 0).any():
        g[g == 0] = min(1.0, g[g > 0].min())
    psf = psf / psf.sum()
    P = np.fft.fft2(psf)
    K = np.conj(np.fft.fft2(psf))
    L = np.zeros_like(g)
    s = 0.0
    for _ in range(rounds):
        A = np.exp(np.fft.ifft2(np.fft.fft2(L) * K).real)
        A /= A.sum()
        C = np.fft.ifft2(np.fft.fft2(A) * P).real
        s = g.sum() / C.sum()
        lg = np.where(g > 0, np.log(np.where(g > 0, g / s, 1.0)), 0.0)
        lc = np.where(C > 0, np.log(np.where(C > 0, C, 1.0)), 0.0)
        L = L + lg - lc
    return np.maximum(A * s, 0.0)


def vc(obs, psf, rounds):
    P = np.fft.fft2(psf)
    E = obs.copy()
    B = obs.copy()
    gmax = max(0.0, obs.max())
    for _ in range(rounds):
        B = np.fft.ifft2(P * np.fft.fft2(B)).real
        B *= gmax / max(0.0, B.max())
        v = np.clip(obs - B + E, 0.0, gmax)
        E = v.copy()
        B = v.copy()
    return E


def main():
    method, obs_path, psf_path, out = sys.argv[1:5]
    w, h = int(sys.argv[5]), int(sys.argv[6])
    obs = np.fromfile(obs_path, dtype=np.float32).reshape(h, w).astype(np.float64)
    psf = np.fromfile(psf_path, dtype=np.float32).reshape(h, w).astype(np.float64)
    fn = {"lr": lr, "mem": mem, "vc": vc}[method]
    with open(out, "wb") as f:
        for r in sys.argv[7:]:
            fn(obs, psf, int(r)).astype(np.float64).tofile(f)


main()
