#!/usr/bin/env bash
# Port accesses per bus word of a job on the virtual board, from tarnflash-sim --stats, and the
# time 1 MB would take at 1 us per port access (a legacy parallel port). Program + verify is the
# whole run minus an erase-only run of the same range, so identification and erase do not count.
#   scripts/port_cost.sh [CPU]        (default KTR5200; 64 KB jobs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim=${TARNFLASH_SIM:-$root/build/tarnflash-sim}
cpu=${1:-KTR5200}
bytes=65536
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $bytes /dev/urandom >"$work/image.bin"

accesses() { { "$sim" "$@" 2>&1 >/dev/null || true; } | awk '/^port_(writes|reads):/ { s += $2 } END { print s }'; }
minutes() { awk -v a="$1" -v w="$2" 'BEGIN { printf "%.1f", a * w / 1e6 / 60 }'; }

echo "| flash | bus | program + verify | 1 MB | read | 1 MB |"
echo "|---|---|---|---|---|---|"
for setup in "S29AL008D 16 1" "S29AL008D 8 1" "S29AL004D 16 1" "EN29LV040A 8 1" "EN29LV040A 8 2" \
             "AM29LV040B 8 1" "AM29LV040B 8 2" "S29GL064M 16 1" "K8D6316 16 1" "S29GL128N 16 1" "SST39VF6401 16 1"; do
    read -r model width chips <<<"$setup"
    bus="${width}x${chips}"
    board=(--cpu "$cpu" --flash "$model" --bus "$bus" --stats --)
    tool=(-C "$cpu" -F "$model" -w "$width" -i "$chips")
    words=$(( bytes * 8 / (width * chips) ))
    erase=$(accesses "${board[@]}" "${tool[@]}" -e $bytes)
    program=$(accesses "${board[@]}" "${tool[@]}" -f"$work/image.bin")
    read=$(accesses "${board[@]}" "${tool[@]}" -e $bytes --read "$work/back.bin")
    id=$(accesses "${board[@]}" "${tool[@]}" -e 1 --read "$work/none.bin")
    per_program=$(( (program - erase) / words ))
    per_read=$(( (read - id) / words ))
    mb_words=$(( 1048576 * 8 / (width * chips) ))
    echo "| $model | $bus | $per_program | $(minutes $per_program $mb_words) min | $per_read | $(minutes $per_read $mb_words) min |"
done
