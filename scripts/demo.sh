#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Writes a 1 MB image into a virtual KTR5200 board carrying one S29AL008D in 16-bit mode,
# checks that the flash afterwards holds exactly the image, and prints how long the same
# job would take on real hardware (the board's virtual time).
# TARNFLASH_DEMO_BYTES=N writes a smaller image (CI uses it to save time).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sim=${TARNFLASH_SIM:-$root/build/tarnflash-sim}
if [[ ! -x $sim ]]; then
    echo "demo: $sim not found; build first (cmake -S . -B build -G Ninja && cmake --build build --target tarnflash-sim)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

bytes=${TARNFLASH_DEMO_BYTES:-1048576}
if ! [[ $bytes =~ ^[0-9]+$ ]] || ((bytes < 1 || bytes > 1048576)); then
    echo "demo: TARNFLASH_DEMO_BYTES must be 1 to 1048576, not '$bytes'" >&2
    exit 2
fi
head -c "$bytes" /dev/urandom >image.bin

# The tool itself suits its progress to the output: redrawn in place on a terminal, a line
# per tenth in a log.
status=0
"$sim" --cpu KTR5200 --flash S29AL008D --stats --flash-out out.bin -- \
    -C KTR5200 -F S29AL008D -w 16 -i 1 -eall -f image.bin 2>stats.txt || status=$?
cat stats.txt

if [[ $status -ne 0 ]]; then
    echo "demo: the tool ended with status $status" >&2
    exit 1
fi
if ! cmp -s -n "$bytes" image.bin out.bin; then
    echo "demo: the virtual flash does not hold the image" >&2
    cmp -n "$bytes" image.bin out.bin | head -n 1 >&2 || true
    exit 1
fi
echo "demo: the virtual flash holds the image (cmp)"

seconds=$(grep -Eo 'virtual_seconds[^0-9]*[0-9]+(\.[0-9]+)?' stats.txt | grep -Eo '[0-9]+(\.[0-9]+)?$' | tail -n 1 || true)
if [[ -n $seconds ]]; then
    awk -v s="$seconds" 'BEGIN { printf "demo: estimated time on real hardware: %.1f s (%d min %d s)\n", s, int(s / 60), int(s) % 60 }'
else
    echo "demo: no virtual_seconds in the --stats output" >&2
fi
