"""Expected raw-import results computed with numpy from the format table.

make DIR: writes data.bin (SKIP header bytes, then samples) and, for each case
NAME in cases.txt ("NAME FORMAT UNSIGNED OFFSET WIDTH HEIGHT"), NAME.expected
as little-endian float32.
"""
import sys

import numpy as np

SKIP = 37


def trunc_mod(v, m):
    return np.sign(v) * (np.abs(v) % m)


def main(out):
    rng = np.random.default_rng(11)
    body = rng.integers(0, 256, size=4096, dtype=np.uint8).tobytes()
    # Some floats for the 32-bit cases, big-endian, at the start of the body.
    floats = np.array([1.5, -5.0, 2.25, 1e6, -0.5, 3.0, 7.75, 0.0], dtype='>f4').tobytes()
    body = floats + body[len(floats):]
    open(out + '/data.bin', 'wb').write(bytes(range(SKIP)) + body)
    data = np.frombuffer(body, dtype=np.uint8)
    cases = []

    def add(name, fmt, unsigned, offset, w, h, values):
        cases.append('%s %d %d %r %d %d' % (name, fmt, unsigned, offset, w, h))
        np.asarray(values, dtype='<f4').reshape(h, w).tofile(out + '/' + name + '.expected')

    w, h = 13, 7
    o = int(np.rint(np.float32(10.5)))  # half to even: 10
    add('u8', 8, 1, 10.5, w, h, trunc_mod(data[:w * h].astype(np.int64) + o, 256))
    add('u8neg', 8, 1, -300.0, w, h, trunc_mod(data[:w * h].astype(np.int64) - 300, 256))
    for fmt, dt in ((16, '>u2'), (17, '<u2')):
        s = np.frombuffer(body, dtype=dt, count=w * h).astype(np.int64)
        add('s%d' % fmt, fmt, 0, 3.0, w, h, trunc_mod(s + 3, 65536))
        add('s%du' % fmt, fmt, 1, -70000.0, w, h, trunc_mod(((s + 32767) & 0xFFFF) - 70000, 65536))
    # 12 bit, odd width: (w div 2) groups of three bytes per row, the last pixel stays 0.
    vals = np.zeros((h, w), dtype=np.int64)
    row_bytes = (w // 2) * 3
    for y in range(h):
        g = data[y * row_bytes:(y + 1) * row_bytes].astype(np.int64).reshape(-1, 3)
        vals[y, 0:w - 1:2] = g[:, 0] + (g[:, 1] & 0x0F) * 256
        vals[y, 1:w:2] = (g[:, 1] >> 4) * 256 + g[:, 2]
    add('t12', 12, 1, 0.0, w, h, trunc_mod(vals + 0, 65536))
    f = np.frombuffer(floats, dtype='>f4').astype(np.float64) + np.float64(np.float32(0.25))
    add('f32', 32, 1, 0.25, 4, 2, np.where(f.astype(np.float32) < 0, 0, f.astype(np.float32)))
    open(out + '/cases.txt', 'w').write('\n'.join(cases) + '\n')


if __name__ == '__main__':
    main(sys.argv[2])
