"""An independent SBIG encoder, written from the format description.

make DIR: writes raw.st7, comp.st8 (compressed, with 0x80 escapes, wrap-around
and raw rows) and st4.st4, each with NAME.expected: the pixel values as
little-endian float32, row 0 first.
"""
import sys

import numpy as np


def header(first_line, width, height):
    lines = [first_line, 'File_version = 3', 'Data_version = 1', 'Exposure = 100', 'Focal_length = 80',
             'Aperture = 12', 'Response_factor = 1000', 'Note = test', 'Background = 0', 'Range = 4095',
             'Height = %d' % height, 'Width = %d' % width, 'Date = 01/01/20', 'End']
    text = ''.join(l + '\n\r' for l in lines).encode('ascii')
    return text + b'\x1a' * (2048 - len(text))


def compress_row(row):
    codes = bytearray()
    prev = int(row[0])
    for v in row[1:]:
        v = int(v)
        d = (v - prev) & 0xFFFF
        d = d - 65536 if d >= 32768 else d
        if -127 <= d <= 127:
            codes.append(d & 0xFF)
        else:
            codes += bytes([0x80, v & 0xFF, v >> 8])
        prev = v
    if len(codes) + 2 >= 2 * len(row):  # not worth it: raw row
        codes = row[1:].astype('<u2').tobytes()
    length = len(codes) + 2
    return length.to_bytes(2, 'little', signed=True) + int(row[0]).to_bytes(2, 'little') + bytes(codes)


def main(out):
    rng = np.random.default_rng(7)
    w, h = 37, 23
    img = rng.integers(0, 65536, size=(h, w), dtype=np.uint32).astype(np.uint16)
    open(out + '/raw.st7', 'wb').write(header('ST-7 Image', w, h) + img.astype('<u2').tobytes())
    img.astype('<f4').tofile(out + '/raw.st7.expected')

    smooth = np.cumsum(rng.integers(-100, 101, size=(h, w)), axis=1) + 1000
    smooth[3, 5] = 65535  # a jump: escaped
    smooth[4, :] = rng.integers(0, 65536, size=w)  # noise: a raw row
    smooth[5, 0] = 65530
    smooth[5, 1:] = np.arange(1, w) * 13 + 65530  # runs past 65535: wraps
    smooth = (smooth & 0xFFFF).astype(np.uint16)
    data = b''.join(compress_row(r) for r in smooth)
    open(out + '/comp.st8', 'wb').write(header('ST-8X Compressed Image', w, h) + data)
    smooth.astype('<f4').tofile(out + '/comp.st8.expected')

    st4 = rng.integers(3, 251, size=(165, 192), dtype=np.uint8)
    open(out + '/st4.st4', 'wb').write(st4.tobytes())
    st4.astype('<f4').tofile(out + '/st4.st4.expected')


if __name__ == '__main__':
    main(sys.argv[2])
