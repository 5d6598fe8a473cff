#!/usr/bin/env bash
# The program itself under address-space limits, on the X server of the
# xvfb-run around it.
# - Under 1.5 GB it starts, and its threads share the main malloc arena
#   instead of reserving 64 MB of that space each.
# - Under limits stepped down toward what it needs, every run ends either with
#   its window, which answers the keyboard (File > Exit ends it, status 0), or
#   by itself with the memory sentence and status 1: never by a signal, never
#   with a window that does not answer, and no run holds the room kept for the
#   windows once they are up.
# Usage: under-address-limit.sh PROGRAM SANITIZED(ON|OFF)
set -u
prog=$1
if [ "${2:-OFF}" = ON ]; then
  echo "AddressSanitizer reserves terabytes of shadow memory: no address-space limit can be set"
  exit 77
fi
work=$(mktemp -d)
pid=
# The X server starts afresh whenever its last client leaves, and refuses
# connections meanwhile: one client stays for the whole test.
xprop -root -spy >/dev/null 2>&1 &
stay=$!
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; kill $stay 2>/dev/null; rm -rf "$work"' EXIT
sentence="There is not enough memory to start Corvelle Image."
failures=0

# Blocks of 32 MiB or more held without access that are not the reserved part
# of a malloc arena (which ends at a 64 MiB boundary, its used part first).
held_room() {
  python3 - "/proc/$1/maps" <<'PY'
import sys
H = 64 << 20
maps = []
for line in open(sys.argv[1]):
    f = line.split()
    a, b = (int(x, 16) for x in f[0].split('-'))
    maps.append((a, b, f[1], len(f) > 5))
starts = {a: (b, p, named) for a, b, p, named in maps}
held = 0
for a, b, perms, named in maps:
    if named or perms != '---p' or b - a < (32 << 20):
        continue
    head = b - H
    if b % H == 0 and head in starts and head < a and not starts[head][2]:
        continue
    held += b - a
print(held >> 20)
PY
}

# The malloc arenas beside the main one: 64 MiB of address space, aligned to
# 64 MiB, taken as one block (its used part first, the rest reserved).
arenas() {
  python3 - "/proc/$1/maps" <<'PY'
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
}

# One run under MB megabytes. How it ended goes to $outcome: "window", "said",
# or what went wrong; the figures of a window's run go to $work/figures.
run() {
  local mb=$1 settings="$work/settings-$1" win= box= status
  mkdir -p "$settings"
  ( ulimit -v $((mb * 1024)) && CORVELLE_SETTINGS_DIR=$settings QT_QPA_PLATFORM=xcb exec "$prog" ) \
    >"$work/out" 2>&1 &
  pid=$!
  : >"$work/figures"
  for _ in $(seq 1 300); do
    if ! kill -0 $pid 2>/dev/null; then
      wait $pid
      status=$?
      pid=
      if [ $status -gt 128 ]; then outcome="ended by signal $((status - 128))"
      elif [ $status -ne 1 ]; then outcome="ended with status $status"
      elif ! grep -qF "$sentence" "$work/out"; then outcome="ended with status 1 without the memory sentence"
      else outcome=said; fi
      return
    fi
    win=$(xdotool search --all --onlyvisible --pid $pid --name '^Corvelle Image 2.5ZUL$' 2>/dev/null | head -1)
    box=$(xdotool search --all --onlyvisible --pid $pid --name '^Error$' 2>/dev/null | head -1)
    [ -n "$win$box" ] && break
    sleep 0.1
  done
  if [ -z "$win$box" ]; then
    kill -9 $pid; wait $pid 2>/dev/null; pid=
    outcome="no window within 30 s"
    return
  fi
  if [ -n "$win" ]; then
    # The toolkit's threads are running once the window is up.
    sleep 1
    echo "$(ls /proc/$pid/task | wc -l) $(arenas $pid) $(held_room $pid)" >"$work/figures"
  fi
  # The window or the box answers the keyboard: File > Exit, or OK.
  xdotool windowfocus --sync "${win:-$box}" 2>/dev/null
  sleep 0.3
  if [ -n "$win" ]; then xdotool key alt+f; sleep 0.5; xdotool key x; else xdotool key Return; fi
  for _ in $(seq 1 200); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then
    kill -9 $pid; wait $pid 2>/dev/null; pid=
    outcome="a ${win:+window}${box:+box} that does not answer the keyboard"
    return
  fi
  wait $pid
  status=$?
  pid=
  if [ -n "$box" ]; then
    if [ $status -eq 1 ]; then outcome=said; else outcome="a box, then status $status"; fi
  elif [ $status -ne 0 ]; then outcome="a window, then status $status"
  else outcome=window; fi
}

# Says one run and counts its failures.
check() {
  local mb=$1
  run "$mb"
  read -r threads heaps held <"$work/figures" || true
  if [ "$outcome" = window ]; then
    echo "$mb MB: window, $threads threads, $heaps malloc arenas besides the main one, ${held} MiB held without access"
    if [ "$held" -ne 0 ]; then echo "  the room for the windows is still held"; failures=$((failures + 1)); fi
  elif [ "$outcome" = said ]; then
    echo "$mb MB: said there is not enough memory, status 1"
  else
    echo "$mb MB: $outcome"
    sed 's/^/  | /' "$work/out" | head -5
    failures=$((failures + 1))
  fi
  last=$outcome
}

check 1536
if [ "$last" = window ]; then
  [ "$threads" -ge 3 ] || { echo "too few threads to tell"; failures=$((failures + 1)); }
  [ "$heaps" -eq 0 ] || { echo "threads took malloc arenas of their own"; failures=$((failures + 1)); }
fi
# Down toward what the program needs, then in small steps where it stops.
first_said=
for mb in 900 700 500 350 250 $(seq 240 -10 100); do
  check $mb
  if [ "$last" = said ]; then first_said=$mb; break; fi
done
if [ -z "$first_said" ]; then
  echo "no limit down to 100 MB made the program say it has not enough memory"
  failures=$((failures + 1))
else
  for mb in $(seq $((first_said + 18)) -2 $((first_said - 6))); do
    [ $mb -eq $first_said ] || check $mb
  done
fi
[ $failures -eq 0 ] || { echo "$failures run(s) failed"; exit 1; }
