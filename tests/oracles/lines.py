"""Digital lines by skimage.draw.line, as an independent reference.

usage: lines.py SEGMENTS.txt  (one "x1 y1 x2 y2" per line)
prints for each segment its pixels as "x y x y ...", sorted.
"""
import sys

from skimage.draw import line

for text in open(sys.argv[1]):
    x1, y1, x2, y2 = (int(v) for v in text.split())
    rr, cc = line(y1, x1, y2, x2)
    print(" ".join(f"{c} {r}" for r, c in sorted(zip(rr.tolist(), cc.tolist()), key=lambda p: (p[1], p[0]))))
