#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What --update costs on the virtual board beside the full job, for a 1 MB image at the start of
# the flash: the image already in place, one 64 KB block of the 16 changed, and a configuration
# block where the image only clears bits; and a --read of the same range. Whole runs from
# tarnflash-sim --stats, identification included: port accesses on the parallel port, virtual
# seconds through a USB adapter (FT2232H at 6 MHz TCK).
#   scripts/update_cost.sh [CPU]        (default KTR5200)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim=${TARNFLASH_SIM:-$root/build/tarnflash-sim}
cpu=${1:-KTR5200}
bytes=1048576
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The flash before each case: the image (the board holds the erased value past it). The changed block is the one
# at 0x20000, the configuration block the one at 0x30000.
python3 - "$work" $bytes <<'PY'
import random, sys
work, size = sys.argv[1], int(sys.argv[2])
r = random.Random(1)
image = bytes(r.randrange(256) for _ in range(size))
open(f"{work}/image.bin", "wb").write(image)
open(f"{work}/same.bin", "wb").write(image)
block = bytearray(image)
block[0x20000:0x30000] = bytes(r.randrange(256) for _ in range(0x10000))
open(f"{work}/block.bin", "wb").write(bytes(block))
config = bytearray(image)
for at in range(0x30000, 0x30400, 16):
    config[at] |= 0xF0
open(f"{work}/config.bin", "wb").write(bytes(config))
PY

# One run: the sum of the counters named by the awk pattern, and the blocks line.
run() {
    local pattern=$1
    shift
    { "$sim" "$@" 2>&1 || true; } | awk -v p="$pattern" '$0 ~ p { s += $2 } /^Blocks:/ { b = $2 "/" $4 "/" $7 } END { printf (s == int(s) ? "%d" : "%.3f") " %s\n", s, b }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

echo "| flash | cable | full job | --read of the range | image in place (x read) | one 64 KB block changed (x full) | bits cleared in one block (x full) |"
echo "|---|---|---|---|---|---|---|"
for model in S29GL064M S29AL008D; do
    tool=(-C "$cpu" -F "$model" -w 16 -i 1)
    for cable in parport ftdi; do
        if [[ $cable == ftdi ]]; then
            board=(--cable ftdi --cpu "$cpu" --flash "$model" --bus 16x1 --stats)
            pattern='^virtual_seconds:'
            unit=s
        else
            board=(--cpu "$cpu" --flash "$model" --bus 16x1 --stats)
            pattern='^port_(writes|reads):'
            unit=accesses
        fi
        read -r full _ < <(run "$pattern" "${board[@]}" -- "${tool[@]}" -f"$work/image.bin")
        read -r back _ < <(run "$pattern" "${board[@]}" --flash-in "$work/same.bin" -- "${tool[@]}" -e $bytes --read "$work/back.bin")
        read -r same same_blocks < <(run "$pattern" "${board[@]}" --flash-in "$work/same.bin" -- "${tool[@]}" -f"$work/image.bin" --update)
        read -r block block_blocks < <(run "$pattern" "${board[@]}" --flash-in "$work/block.bin" -- "${tool[@]}" -f"$work/image.bin" --update)
        read -r config config_blocks < <(run "$pattern" "${board[@]}" --flash-in "$work/config.bin" -- "${tool[@]}" -f"$work/image.bin" --update)
        echo "| $model | $cable | $full $unit | $back $unit | $same $unit ($(ratio "$same" "$back")x; blocks $same_blocks) |" \
            "$block $unit ($(ratio "$block" "$full")x; blocks $block_blocks) | $config $unit ($(ratio "$config" "$full")x; blocks $config_blocks) |"
    done
done
echo
echo "Blocks: unchanged/programmed over/erased."
