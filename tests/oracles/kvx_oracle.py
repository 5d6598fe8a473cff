"""An independent kvx reader and writer, written from the format's field table.

write PATH: writes a 3 x 2 grey image with one annotation and two markers.
read PATH:  prints the file's fields as JSON.
"""
import json
import struct
import sys


def write(path):
    out = struct.pack('<BIIIBI', 2, 3, 2, 6, 0, 1)
    text, name = b'Vega \xe9', b'Arial'
    out += struct.pack('<iiI', 17, -4, len(text)) + text
    out += struct.pack('<IIIBI', 4, 0x00336699, 12, 5, len(name)) + name
    out += struct.pack('<I', 2) + struct.pack('<ffff', 1.5, 2.25, -3.0, 100.125)
    out += struct.pack('<6f', 0.0, 1.5, -2.0, 65535.0, 1e-3, 3.4e38)
    open(path, 'wb').write(out)


def read(path):
    b = open(path, 'rb').read()
    ver, w, h, n, colour, na = struct.unpack_from('<BIIIBI', b, 0)
    p = 18
    anns = []
    for _ in range(na):
        y, x, tl = struct.unpack_from('<iiI', b, p)
        p += 12
        text = b[p:p + tl].decode('latin-1')
        p += tl
        res, col, size, style, nl = struct.unpack_from('<IIIBI', b, p)
        p += 17
        name = b[p:p + nl].decode('latin-1')
        p += nl
        anns.append(dict(y=y, x=x, text=text, reserved=res, colour=col, size=size, style=style, name=name))
    (nm,) = struct.unpack_from('<I', b, p)
    p += 4
    markers = [list(struct.unpack_from('<ff', b, p + 8 * i)) for i in range(nm)]
    p += 8 * nm
    if colour:
        pixels = list(b[p:p + 3 * n])
        p += 3 * n
    else:
        pixels = list(struct.unpack_from('<%df' % n, b, p))
        p += 4 * n
    print(json.dumps(dict(version=ver, width=w, height=h, count=n, colour=colour, annotations=anns,
                          markers=markers, pixels=pixels, rest=len(b) - p)))


if __name__ == '__main__':
    {'write': write, 'read': read}[sys.argv[1]](sys.argv[2])
