#!/usr/bin/env bash
# Writes a 1 MB image into a virtual KTR5200 board carrying one S29AL008D in 16-bit mode,
# checks that the flash afterwards holds exactly the image, and prints how long the same
# job would take on real hardware (the board's virtual time).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sim=${TARNFLASH_SIM:-$root/build/tarnflash-sim}
if [[ ! -x $sim ]]; then
    echo "demo: $sim not found; build first (cmake -S . -B build -G Ninja && cmake --build build)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c 1048576 /dev/urandom >image.bin

status=0
"$sim" --cpu KTR5200 --flash S29AL008D --stats --flash-out out.bin -- \
    -C KTR5200 -F S29AL008D -w 16 -i 1 -eall -f image.bin >log.txt 2>&1 || status=$?

# One progress line per word, each overwritten in place: keep only the last.
tr '\r' '\n' <log.txt | awk '/^Write: / { last = $0; next } { if (last != "") { print last; last = "" } print }
                             END { if (last != "") print last }'

if [[ $status -ne 0 ]]; then
    echo "demo: the tool ended with status $status" >&2
    exit 1
fi
if ! cmp -s image.bin out.bin; then
    echo "demo: the virtual flash does not hold the image" >&2
    cmp image.bin out.bin | head -n 1 >&2 || true
    exit 1
fi
echo "demo: the virtual flash holds the image (cmp)"

seconds=$(grep -Eo 'virtual_seconds[^0-9]*[0-9]+(\.[0-9]+)?' log.txt | grep -Eo '[0-9]+(\.[0-9]+)?$' | tail -n 1 || true)
if [[ -n $seconds ]]; then
    awk -v s="$seconds" 'BEGIN { printf "demo: estimated time on real hardware: %.1f s (%d min %d s)\n", s, int(s / 60), int(s) % 60 }'
else
    echo "demo: no virtual_seconds in the --stats output" >&2
fi
