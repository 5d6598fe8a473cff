"""Writes bitmap files with PIL, ImageMagick and netpbm into OUTDIR, with the
pixels each must decode to (PIL's decoding, R,G,B rows in name.rgb), and a
manifest of lines "name W H TOLERANCE" (16-bit channels scale by rounding here
and by truncation in PIL, hence 1 for those)."""
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
from PIL import Image

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
manifest = []
rng = np.random.default_rng(11)
CONVERT = "/usr/bin/convert"


def expect(name, tol=0, rgb=None):
    if rgb is None:
        rgb = np.asarray(Image.open(out / (name + ".bmp")).convert("RGB"))
    rgb = np.ascontiguousarray(rgb, dtype=np.uint8)
    (out / (name + ".rgb")).write_bytes(rgb.tobytes())
    manifest.append(f"{name} {rgb.shape[1]} {rgb.shape[0]} {tol}")


def header_size(name):
    return struct.unpack("<I", (out / (name + ".bmp")).read_bytes()[14:18])[0]


def compression(name):
    return struct.unpack("<I", (out / (name + ".bmp")).read_bytes()[30:34])[0]


def im(src, name, *args):
    subprocess.run([CONVERT, str(out / src), *args, str(out / (name + ".bmp"))], check=True)
    # ImageMagick may name the format in the output path (BMP2:x.bmp)
    return name


W, H = 31, 19
rgb8 = rng.integers(0, 256, (H, W, 3), dtype=np.uint8)
grey8 = rng.integers(0, 256, (H, W), dtype=np.uint8)
# Runs for the RLE coders: blocks of equal colour.
blocks = np.kron(rng.integers(0, 6, (H // 3 + 1, W // 4 + 1)), np.ones((3, 4), dtype=np.int64))[:H, :W]
palette16 = rng.integers(0, 256, (16, 3), dtype=np.uint8)
runs = palette16[blocks]

Image.fromarray(rgb8).save(out / "src_rgb.png")
Image.fromarray(runs).save(out / "src_runs.png")

# PIL: 1-bit, 8-bit grey palette, 8-bit palette, 24-bit, 32-bit.
Image.fromarray(grey8 > 100).save(out / "pil_1.bmp")
expect("pil_1")
Image.fromarray(grey8, "L").save(out / "pil_l.bmp")
expect("pil_l")
Image.fromarray(rgb8).quantize(77).save(out / "pil_p.bmp")
expect("pil_p")
Image.fromarray(rgb8).save(out / "pil_rgb.bmp")
expect("pil_rgb", rgb=rgb8)
Image.fromarray(np.dstack([rgb8, grey8]), "RGBA").save(out / "pil_rgba.bmp")
expect("pil_rgba", rgb=rgb8)

# ImageMagick: core (OS/2) header, info header, V4 and V5 headers, RLE8, bit fields.
im("src_rgb.png", "im_bmp2", "-type", "Palette", "-colors", "200")
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-type", "Palette", "-colors", "200",
                "BMP2:" + str(out / "im_bmp2.bmp")], check=True)
assert header_size("im_bmp2") == 12
expect("im_bmp2")
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-type", "TrueColor", "BMP2:" + str(out / "im_bmp2_24.bmp")],
               check=True)
assert header_size("im_bmp2_24") == 12
expect("im_bmp2_24", rgb=rgb8)
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-type", "TrueColor", "BMP3:" + str(out / "im_bmp3.bmp")],
               check=True)
assert header_size("im_bmp3") == 40
expect("im_bmp3", rgb=rgb8)
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-type", "TrueColor", str(out / "im_bmp5.bmp")], check=True)
assert header_size("im_bmp5") == 124
expect("im_bmp5", rgb=rgb8)
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-type", "TrueColorAlpha", "-alpha", "on",
                str(out / "im_bmp5_32.bmp")], check=True)
assert header_size("im_bmp5_32") == 124
expect("im_bmp5_32", rgb=rgb8)
subprocess.run([CONVERT, str(out / "src_runs.png"), "-type", "Palette", "-compress", "RLE",
                "BMP3:" + str(out / "im_rle8.bmp")], check=True)
assert compression("im_rle8") == 1
expect("im_rle8", rgb=runs)
for subtype, name in (("RGB555", "im_555"), ("RGB565", "im_565")):
    subprocess.run([CONVERT, str(out / "src_rgb.png"), "-define", f"bmp:subtype={subtype}",
                    str(out / (name + ".bmp"))], check=True)
    assert compression(name) == 3
    expect(name, tol=1)

# netpbm: 1, 4, 8 and 24 bits, Windows and OS/2 headers.
Image.fromarray(runs).save(out / "src_runs.ppm")
for bpp in (4, 8, 24):
    for kind in ("windows", "os2"):
        name = f"pbm_{kind}_{bpp}"
        with open(out / (name + ".bmp"), "wb") as f:
            subprocess.run(["/usr/bin/ppmtobmp", f"-{kind}", "-bpp", str(bpp), str(out / "src_runs.ppm")],
                           check=True, stdout=f, stderr=subprocess.DEVNULL)
        expect(name, rgb=runs)

# Hand-made: a 16-bit BI_RGB (5-5-5) file, top-down rows, RLE4, 4-bit and 1-bit with a short palette.
def info_header(w, h, bits, comp, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, comp, image_size, 2835, 2835, colours, 0)


def file_of(info, palette, pixels):
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + palette + pixels


v555 = rng.integers(0, 1 << 15, (H, W), dtype=np.uint16)
stride = (W * 2 + 3) & ~3
rows = b"".join(v555[H - 1 - y].astype("<u2").tobytes().ljust(stride, b"\0") for y in range(H))
(out / "hand_555.bmp").write_bytes(file_of(info_header(W, H, 16, 0, len(rows), 0), b"", rows))
expect("hand_555", tol=1)

stride = (W * 3 + 3) & ~3
rows = b"".join(rgb8[y, :, ::-1].tobytes().ljust(stride, b"\0") for y in range(H))  # top row first
(out / "hand_topdown.bmp").write_bytes(file_of(info_header(W, -H, 24, 0, len(rows), 0), b"", rows))
expect("hand_topdown", rgb=rgb8)

# RLE4: each row as runs of two alternating indices, an absolute run, a delta, and the end.
pal = b"".join(bytes([b, g, r, 0]) for r, g, b in palette16)
idx = np.zeros((H, W), dtype=np.int64)
code = bytearray()
for y in range(H):  # file rows bottom-up
    row = H - 1 - y
    x = 0
    if y == 5:  # a delta of 3 to the right: the skipped pixels keep index 0
        code += bytes([0, 2, 3, 0, W - 3, 0x33, 0, 0])
        idx[row, 3:] = 3
        continue
    a, b = (y % 16), ((y * 7) % 16)
    code += bytes([10, a << 4 | b])
    for i in range(10):
        idx[row, x] = a if i % 2 == 0 else b
        x += 1
    n = 5  # absolute: 5 nibbles in 3 bytes, padded to 4
    nib = [(y + i) % 16 for i in range(n)] + [0]
    code += bytes([0, n]) + bytes(nib[i] << 4 | nib[i + 1] for i in range(0, 6, 2)) + b"\0"
    for i in range(n):
        idx[row, x] = nib[i]
        x += 1
    code += bytes([W - x, 0x33])
    while x < W:
        idx[row, x] = 3
        x += 1
    code += bytes([0, 0])
code += bytes([0, 1])
(out / "hand_rle4.bmp").write_bytes(file_of(info_header(W, H, 4, 2, len(code), 16), pal, bytes(code)))
# PIL 9.4 misreads RLE4 absolute runs; ImageMagick's decoding confirms the hand-made codes instead.
decoded = subprocess.run([CONVERT, str(out / "hand_rle4.bmp"), "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
if decoded != palette16[idx].astype(np.uint8).tobytes():
    raise SystemExit("ImageMagick decodes the hand-made RLE4 file differently")
expect("hand_rle4", rgb=palette16[idx])

# A V4 header (108 bytes) with 32-bit bit fields inside it: red, green, blue in the top three bytes.
v4 = struct.pack("<IiiHHIIiiII", 108, W, H, 1, 32, 3, W * 4 * H, 0, 0, 0, 0)
v4 += struct.pack("<IIII", 0xFF000000, 0x00FF0000, 0x0000FF00, 0) + b"\0" * (108 - 56)
rows = b"".join(bytes(v for px in rgb8[H - 1 - y] for v in (0x5A, px[2], px[1], px[0])) for y in range(H))
(out / "hand_v4.bmp").write_bytes(file_of(v4, b"", rows))
expect("hand_v4", rgb=rgb8)

(out / "manifest.txt").write_text("\n".join(manifest) + "\n")
