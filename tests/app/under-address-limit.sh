#!/usr/bin/env bash
# The program itself under an address-space limit, on the X server of the
# xvfb-run around it: it starts, and its threads share two malloc arenas
# instead of reserving 64 MB of that space each.
# Usage: under-address-limit.sh PROGRAM SANITIZED(ON|OFF)
set -u
prog=$1
if [ "${2:-OFF}" = ON ]; then
  echo "AddressSanitizer reserves terabytes of shadow memory: no address-space limit can be set"
  exit 77
fi
settings=$(mktemp -d)
( ulimit -v $((1536 * 1024)) && CORVELLE_SETTINGS_DIR=$settings QT_QPA_PLATFORM=xcb exec "$prog" ) &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$settings"' EXIT
# The toolkit's threads are running once the first window is up.
for _ in $(seq 1 1200); do
  kill -0 $pid 2>/dev/null || { wait $pid; echo "the program ended at start (status $?)"; exit 1; }
  xwininfo -root -tree 2>/dev/null | grep -q '"Corvelle Image 2.5ZUL": ("corvelle-image"' && break
  sleep 0.1
done
threads=$(ls /proc/$pid/task | wc -l)
# A malloc arena beside the main one: 64 MiB of address space, aligned to
# 64 MiB, taken as one block (its used part first, the rest reserved).
heaps=$(python3 - /proc/$pid/maps <<'PY'
import sys
H = 64 << 20
maps = []
for line in open(sys.argv[1]):
    f = line.split()
    a, b = (int(x, 16) for x in f[0].split('-'))
    maps.append((a, b, f[1], len(f) > 5))
count = 0
for i, (a, b, perms, named) in enumerate(maps):
    if a % H or named:
        continue
    end = b
    j = i + 1
    while end < a + H and j < len(maps) and maps[j][0] == end and not maps[j][3]:
        end = maps[j][1]
        j += 1
    count += end == a + H
print(count)
PY
)
echo "$threads threads, $heaps malloc arenas besides the main one"
[ "$threads" -ge 3 ] || { echo "too few threads to tell"; exit 1; }
[ "$heaps" -le 1 ] || { echo "every thread took an arena of its own"; exit 1; }
