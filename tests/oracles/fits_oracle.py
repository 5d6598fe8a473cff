"""FITS cross-checks with astropy.

make DIR        astropy writes test files; for each NAME in DIR/cases.txt,
                NAME.expected holds the pixels a reader must give (float32 LE),
                computed with numpy from the raw stored values and the cards.
samples OUTDIR  the same expectations for the FITS files that come with
                Debian's astropy; OUTDIR/samples.txt lists "PATH EXPECTED|-".
check FILE EXPECTED  astropy reads FILE (one of ours) and compares its pixels
                with EXPECTED; also prints the BITPIX, BZERO and BSCALE it found.
"""
import glob
import os
import sys
import warnings

import numpy as np
from astropy.io import fits

warnings.simplefilter('ignore')


def card_value(path, keyword, default):
    with fits.open(path, do_not_scale_image_data=True, ignore_missing_end=True) as f:
        h = f[0].header
        if keyword not in h:
            return np.longdouble(default)
        return np.longdouble(h.cards[keyword].image[10:].split('/')[0].strip())


def expected_from(path):
    """Pixels per the reader's rules, or None when the reader refuses the file."""
    with fits.open(path, do_not_scale_image_data=True, ignore_missing_end=True) as f:
        h = f[0].header
        bitpix = h.get('BITPIX')
        if bitpix not in (8, 16, -32) or h.get('NAXIS', 0) < 2:
            return None
        n1, n2 = h['NAXIS1'], h['NAXIS2']
        if n1 <= 0 or n2 <= 0 or f[0].data is None:
            return None
        raw = np.asarray(f[0].data).reshape(-1)[:n1 * n2]
        bscale = np.float32(h.get('BSCALE', 1.0))
        bzero = np.float32(h.get('BZERO', 0.0))
    if bitpix == -32:
        raw = raw.astype(np.float32)
        bad = ~np.isfinite(raw)
        v = (raw.astype(np.longdouble) * np.longdouble(bscale) + np.longdouble(bzero)).astype(np.float32)
        v[bad | ~np.isfinite(v)] = 0
    elif not (float(bscale).is_integer() and float(bzero).is_integer()):
        # A fractional scale or offset: the physical values, unrounded, from
        # the cards' decimal texts in extended precision.
        v = (raw.astype(np.longdouble) * card_value(path, 'BSCALE', '1') + card_value(path, 'BZERO', '0'))
        v = v.astype(np.float32)
    else:
        top = 255 if bitpix == 8 else 65535
        v = np.clip(np.rint(raw.astype(np.longdouble) * np.longdouble(bscale) + np.longdouble(bzero)), 0, top)
    return np.asarray(v, dtype='<f4').reshape(n2, n1)


def make(out):
    rng = np.random.default_rng(3)
    cases = []

    def write(name, hdu, cards=None, unpadded=False):
        path = os.path.join(out, name + '.fits')
        if cards is not None:
            while len(hdu.header) + 1 < cards:
                hdu.header.add_comment('filler card %d' % len(hdu.header))
            assert len(hdu.header) + 1 == cards
        hdu.writeto(path, overwrite=True, output_verify='silentfix')
        if unpadded:
            with fits.open(path) as f:
                size = f[0]._data_offset + f[0]._data_size
            with open(path, 'r+b') as fh:
                fh.truncate(size)
        expected_from(path).tofile(os.path.join(out, name + '.expected'))
        cases.append(name)

    u8 = rng.integers(0, 256, size=(9, 11), dtype=np.uint8)
    write('u8', fits.PrimaryHDU(u8))
    h = fits.PrimaryHDU(u8.copy(), do_not_scale_image_data=True)
    h.header['BSCALE'] = 2.0
    h.header['BZERO'] = -10.0
    write('u8scaled', h)
    u16 = rng.integers(0, 65536, size=(17, 13), dtype=np.uint16)
    write('u16', fits.PrimaryHDU(u16), unpadded=True)  # astropy writes BZERO 32768
    i16 = rng.integers(-300, 300, size=(7, 5), dtype=np.int16)
    write('i16', fits.PrimaryHDU(i16))  # negatives clamp to 0
    h = fits.PrimaryHDU(i16.copy(), do_not_scale_image_data=True)
    h.header['BSCALE'] = 0.5
    h.header['BZERO'] = 300.25
    write('i16scaled', h)
    # As astropy's own scale.fits: BITPIX 16, BSCALE 0.0458, BZERO 1500.
    h = fits.PrimaryHDU(rng.integers(-32768, 32768, size=(6, 9), dtype=np.int16), do_not_scale_image_data=True)
    h.header['BSCALE'] = 0.0458
    h.header['BZERO'] = 1500.0
    write('scale16', h)
    # The physical values in double precision from the raw numbers and cards.
    with fits.open(os.path.join(out, 'scale16.fits'), do_not_scale_image_data=True) as f:
        raw = np.asarray(f[0].data, dtype=np.float64)
        (raw * f[0].header['BSCALE'] + f[0].header['BZERO']).astype('<f8').tofile(os.path.join(out, 'scale16.exact'))
    f32 = (rng.standard_normal((10, 12)) * 1000).astype(np.float32)
    f32[0, 0], f32[0, 1], f32[1, 0] = np.nan, np.inf, 2.5
    write('f32', fits.PrimaryHDU(f32), unpadded=True)
    h = fits.PrimaryHDU(f32.copy(), do_not_scale_image_data=True)
    h.header['BSCALE'] = 0.1
    h.header['BZERO'] = 1.5
    write('f32scaled', h)
    cube = rng.integers(0, 65536, size=(3, 4, 6), dtype=np.uint16)
    write('cube', fits.PrimaryHDU(cube))
    write('cards36', fits.PrimaryHDU(u16[:3, :4].copy()), cards=36)
    write('cards37', fits.PrimaryHDU(u16[:3, :4].copy()), cards=37)
    write('wide', fits.PrimaryHDU(rng.integers(0, 65536, size=(3, 1440), dtype=np.uint16)))
    open(os.path.join(out, 'cases.txt'), 'w').write('\n'.join(cases) + '\n')


def samples(out):
    root = os.path.join(os.path.dirname(fits.__file__), 'tests', 'data')
    files = sorted(glob.glob(os.path.join(root, '*.fits')))
    if not files:
        sys.exit('no sample FITS files under ' + root)
    lines = []
    for i, path in enumerate(files):
        try:
            e = expected_from(path)
        except Exception:
            e = None
        name = '-'
        if e is not None:
            name = os.path.join(out, 'sample%d.expected' % i)
            e.tofile(name)
        lines.append('%s %s' % (path, name))
    open(os.path.join(out, 'samples.txt'), 'w').write('\n'.join(lines) + '\n')


def check(path, expected):
    with fits.open(path, uint=True) as f:
        h = f[0].header
        data = np.asarray(f[0].data, dtype=np.float64)
        print('BITPIX=%d NAXIS=%d BZERO=%r BSCALE=%r' % (h['BITPIX'], h['NAXIS'], h.get('BZERO'), h.get('BSCALE')))
    want = np.fromfile(expected, dtype='<f4').astype(np.float64)
    if data.size != want.size or not np.array_equal(data.reshape(-1), want):
        print('MISMATCH', data.shape, want.size)
        sys.exit(1)
    print('SAME')


if __name__ == '__main__':
    cmd = sys.argv[1]
    if cmd == 'make':
        make(sys.argv[2])
    elif cmd == 'samples':
        samples(sys.argv[2])
    else:
        check(sys.argv[2], sys.argv[3])
