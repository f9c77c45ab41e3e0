# SPDX-License-Identifier: Apache-2.0
# What the cost scripts share, sourced after `bytes` is set: the simulator, the CPU (first
# argument, default KTR5200), a scratch folder removed at exit, and the same pseudo-random image
# every time in "$work/image.bin", so two builds' figures compare exactly (the count of words left
# 0xFFFF changes what a job costs).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sim=${TARNFLASH_SIM:-$root/build/tarnflash-sim}
cpu=${1:-KTR5200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
LC_ALL=C awk -v n="$bytes" 'BEGIN { x = 1; for (i = 0; i < n; i++) { x = (x * 69069 + 1) % 4294967296; printf "%c", int(x / 16777216) } }' \
    >"$work/image.bin"
