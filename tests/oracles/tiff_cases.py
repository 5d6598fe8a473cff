"""Writes TIFF files with PIL, tifffile, ImageMagick and libtiff's tiffcp into
OUTDIR, with the pixels each must decode to, and a manifest:
    name W H            expected pixels in name.rgb (R,G,B rows, top-down)
    name ERROR text     the refusal text
Expected pixels come from PIL's decoding, or from the stored samples through
the documented conversions where PIL converts differently (16-bit, 4-bit grey,
associated alpha, CMYK, CIE L*a*b*)."""
import subprocess
import sys
from pathlib import Path

import numpy as np
import tifffile
from PIL import Image

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
manifest = []
rng = np.random.default_rng(7)
CONVERT = "/usr/bin/convert"
TIFFCP = "/usr/bin/tiffcp"


def expect(name, rgb):
    rgb = np.ascontiguousarray(rgb, dtype=np.uint8)
    (out / (name + ".rgb")).write_bytes(rgb.tobytes())
    manifest.append(f"{name} {rgb.shape[1]} {rgb.shape[0]}")


def refuse(name, text):
    manifest.append(f"{name} ERROR {text}")


def pil_rgb(path):
    return np.asarray(Image.open(path).convert("RGB"))


def stored(path):
    """The samples as stored (no conversion)."""
    return tifffile.imread(path)


def tiffcp(src, dst, *args):
    subprocess.run([TIFFCP, *args, str(src), str(dst)], check=True, stderr=subprocess.DEVNULL)


def both_orders(name, rgb):
    """name.tif exists little-endian; adds the big-endian copy with the same expectation."""
    expect(name, rgb)
    tiffcp(out / (name + ".tif"), out / (name + "_mm.tif"), "-c", "none", "-B")
    expect(name + "_mm", rgb)


W, H = 37, 23
rgb8 = rng.integers(0, 256, (H, W, 3), dtype=np.uint8)
grey8 = rng.integers(0, 256, (H, W), dtype=np.uint8)

# PIL: bilevel, grey, palette, RGB, RGBA (unassociated alpha), CMYK, L*a*b*.
Image.fromarray(grey8 > 128).save(out / "pil_1.tif")
both_orders("pil_1", pil_rgb(out / "pil_1.tif"))
Image.fromarray(grey8, "L").save(out / "pil_l.tif")
both_orders("pil_l", pil_rgb(out / "pil_l.tif"))
pal = Image.fromarray(rgb8, "RGB").quantize(200)
pal.save(out / "pil_p.tif")
both_orders("pil_p", pil_rgb(out / "pil_p.tif"))
Image.fromarray(rgb8, "RGB").save(out / "pil_rgb.tif")
both_orders("pil_rgb", rgb8)
rgba = np.dstack([rgb8, grey8])
Image.fromarray(rgba, "RGBA").save(out / "pil_rgba.tif")
both_orders("pil_rgba", rgb8)

cmyk = rng.integers(0, 256, (H, W, 4), dtype=np.uint8)
Image.fromarray(cmyk, "CMYK").save(out / "pil_cmyk.tif")
c = stored(out / "pil_cmyk.tif").astype(np.int64)
k = c[..., 3:4]
ink = c[..., :3] - (c[..., :3] * k + 127) // 255 + k  # MulDiv rounds halves away from zero
both_orders("pil_cmyk", np.clip(255 - ink, 0, 255))

Image.fromarray(rgb8, "RGB").convert("LAB").save(out / "pil_lab.tif")
lab = stored(out / "pil_lab.tif").view(np.uint8)
L = lab[..., 0].astype(np.float64) / 2.55
a = lab[..., 1].view(np.int8).astype(np.float64)
b = lab[..., 2].view(np.int8).astype(np.float64)
fy = (L + 16) / 116
big = L > 7.9996
X = np.where(big, (a / 500 + fy) ** 3, a / 3893.5 + L / 903.3)
Y = np.where(big, fy ** 3, L / 903.3)
Z = np.where(big, (fy - b / 200) ** 3, L / 903.3 - b / 1557.4)
red = 255 * (2.998 * X - 1.458 * Y - 0.541 * Z)
green = 255 * (-0.952 * X + 1.893 * Y + 0.059 * Z)
blue = 255 * (0.099 * X - 0.198 * Y + 1.099 * Z)
both_orders("pil_lab", np.clip(np.rint(np.dstack([red, green, blue])), 0, 255))

# tifffile: 16-bit grey and RGB in both orders, RGBA with associated alpha.
grey16 = rng.integers(0, 65536, (H, W), dtype=np.uint16)
rgb16 = rng.integers(0, 65536, (H, W, 3), dtype=np.uint16)
for order, suffix in (("<", ""), (">", "_mm")):
    tifffile.imwrite(out / f"tf_grey16{suffix}.tif", grey16, byteorder=order, photometric="minisblack")
    expect(f"tf_grey16{suffix}", np.repeat((grey16 >> 8)[..., None], 3, axis=2))
    tifffile.imwrite(out / f"tf_rgb16{suffix}.tif", rgb16, byteorder=order, photometric="rgb")
    expect(f"tf_rgb16{suffix}", rgb16 >> 8)
    tifffile.imwrite(out / f"tf_grey16w{suffix}.tif", grey16, byteorder=order, photometric="miniswhite")
    expect(f"tf_grey16w{suffix}", np.repeat((255 - (grey16 >> 8))[..., None], 3, axis=2))
tifffile.imwrite(out / "tf_rgba_assoc.tif", rgba, photometric="rgb", extrasamples=["assocalpha"])
both_orders("tf_rgba_assoc", rgb8)
rgba16 = np.dstack([rgb16, grey16])
tifffile.imwrite(out / "tf_rgba16_unassoc.tif", rgba16, photometric="rgb", extrasamples=["unassalpha"])
both_orders("tf_rgba16_unassoc", rgb16 >> 8)
cmyk16 = rng.integers(0, 65536, (H, W, 4), dtype=np.uint16)
tifffile.imwrite(out / "tf_cmyk16.tif", cmyk16, photometric="separated")
c = cmyk16.astype(np.int64)
k = c[..., 3:4]
ink = c[..., :3] - (c[..., :3] * k + 32767) // 65535 + k
both_orders("tf_cmyk16", np.clip(255 - (ink >> 8), 0, 255))

# ImageMagick: 4-bit grey (ramp i x 16), 4-bit palette, 8-bit grey MSB, RGB with strips.
Image.fromarray(grey8, "L").save(out / "src_grey.png")
Image.fromarray(rgb8, "RGB").save(out / "src_rgb.png")
subprocess.run([CONVERT, str(out / "src_grey.png"), "-compress", "none", "-depth", "4", "-type", "Grayscale",
                "-define", "tiff:photometric=min-is-black", str(out / "im_grey4.tif")], check=True)
g4 = np.asarray(Image.open(out / "im_grey4.tif").convert("L")).astype(np.int64)
if np.any(g4 % 17):  # PIL spreads a nibble v to v x 17; the stored nibble is what counts
    raise SystemExit("unexpected 4-bit samples")
g4 //= 17
both_orders("im_grey4", np.repeat((g4 * 16)[..., None], 3, axis=2))
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-compress", "none", "-colors", "16", "-type", "Palette",
                "-depth", "4", str(out / "im_pal4.tif")], check=True)
both_orders("im_pal4", pil_rgb(out / "im_pal4.tif"))
subprocess.run([CONVERT, str(out / "src_grey.png"), "-compress", "none", "-endian", "MSB", "-depth", "8",
                "-type", "Grayscale", str(out / "im_grey8_mm.tif")], check=True)
expect("im_grey8_mm", pil_rgb(out / "im_grey8_mm.tif"))
subprocess.run([CONVERT, str(out / "src_rgb.png"), "-compress", "none", "-depth", "8", "-type", "TrueColor",
                "-define", "tiff:rows-per-strip=5", str(out / "im_rgb_strips.tif")], check=True)
expect("im_rgb_strips", rgb8)

# tiffcp: several strips in both orders; the compressed kinds are refused by name.
tiffcp(out / "pil_rgb.tif", out / "cp_strips3.tif", "-c", "none", "-r", "3")
both_orders("cp_strips3", rgb8)
for method, kind in (("lzw", "LZW"), ("packbits", "Packbits"), ("zip", "unknown method"), ("jpeg", "JPEG")):
    tiffcp(out / "pil_rgb.tif", out / f"cp_{method}.tif", "-c", method)
    refuse(f"cp_{method}", f"Corvelle Image does not support compressed ({kind}) TIFF files.")
    tiffcp(out / "pil_rgb.tif", out / f"cp_{method}_mm.tif", "-c", method, "-B")
    refuse(f"cp_{method}_mm", f"Corvelle Image does not support compressed ({kind}) TIFF files.")
subprocess.run([CONVERT, str(out / "src_grey.png"), "-threshold", "50%", "-compress", "Group4",
                str(out / "im_g4.tif")], check=True)
refuse("im_g4", "Corvelle Image does not support compressed (CCITTFAX4) TIFF files.")
tiffcp(out / "pil_1.tif", out / "cp_g3.tif", "-c", "g3")
refuse("cp_g3", "Corvelle Image does not support compressed (CCITTFAX3) TIFF files.")

(out / "manifest.txt").write_text("\n".join(manifest) + "\n")
