#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What a job costs on the virtual board, from tarnflash-sim --stats: port accesses per bus word
# on the parallel port and the time 1 MB would take at 1 us per access (a legacy port), and
# the microseconds per bus word and the time 1 MB would take through a USB adapter (FT2232H at
# 6 MHz TCK, 125 us per round trip). Program + verify is the whole run minus an erase-only run of the same range, and a
# read the whole run minus identification, so neither counts.
#   scripts/port_cost.sh [CPU]        (default KTR5200; 64 KB jobs)
set -euo pipefail
bytes=65536
source "$(dirname "$0")/cost_setup.sh"

# The sum of the counters named by the awk pattern.
stat() {
    local pattern=$1
    shift
    { "$sim" "$@" 2>&1 >/dev/null || true; } | awk -v p="$pattern" '$0 ~ p { s += $2 } END { printf "%.9f\n", s }'
}
accesses() { stat '^port_(writes|reads):' "$@"; }
seconds() { stat '^virtual_seconds:' "$@"; }
# The difference of two runs, per word, scaled to the words of 1 MB.
per_word() { awk -v a="$1" -v b="$2" -v w="$3" 'BEGIN { printf "%d", (a - b) / w }'; }
per_word_us() { awk -v a="$1" -v b="$2" -v w="$3" 'BEGIN { printf "%.1f", (a - b) / w * 1e6 }'; }
mb_minutes() { awk -v a="$1" -v b="$2" -v w="$3" -v m="$4" -v f="$5" 'BEGIN { printf "%.1f", (a - b) / w * m * f / 60 }'; }

echo "| flash | bus | program + verify, accesses a word | 1 MB, parallel port | USB, µs a word | 1 MB, USB | read, accesses a word | 1 MB, parallel port | USB, µs a word | 1 MB, USB |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for setup in "S29AL008D 16 1" "S29AL008D 8 1" "S29AL004D 16 1" "EN29LV040A 8 1" "EN29LV040A 8 2" \
             "AM29LV040B 8 1" "AM29LV040B 8 2" "S29GL064M 16 1" "K8D6316 16 1" "S29GL128N 16 1" "SST39VF6401 16 1" \
             "28F128J3 16 1" "28F128J3 8 1" "28F128J3 8 2" "28F256P30 16 1"; do
    read -r model width chips <<<"$setup"
    bus="${width}x${chips}"
    tool=(-C "$cpu" -F "$model" -w "$width" -i "$chips")
    # The Intel-style chips have no -F name: found by their CFI table, the P30's blocks unlocked.
    [[ $model == 28F* ]] && tool=(-C "$cpu" --detect --unlock -w "$width" -i "$chips")
    lpt=(--cpu "$cpu" --flash "$model" --bus "$bus" --stats --)
    usb=(--cable ftdi --cpu "$cpu" --flash "$model" --bus "$bus" --stats --)
    words=$(( bytes * 8 / (width * chips) ))
    mb_words=$(( 1048576 * 8 / (width * chips) ))
    row="| $model | $bus"
    erase=$(accesses "${lpt[@]}" "${tool[@]}" -e $bytes)
    program=$(accesses "${lpt[@]}" "${tool[@]}" -f"$work/image.bin")
    usb_erase=$(seconds "${usb[@]}" "${tool[@]}" -e $bytes)
    usb_program=$(seconds "${usb[@]}" "${tool[@]}" -f"$work/image.bin")
    row+=" | $(per_word "$program" "$erase" $words) | $(mb_minutes "$program" "$erase" $words $mb_words 1e-6) min"
    row+=" | $(per_word_us "$usb_program" "$usb_erase" $words) | $(mb_minutes "$usb_program" "$usb_erase" $words $mb_words 1) min"
    id=$(accesses "${lpt[@]}" "${tool[@]}" -e 1 --read "$work/none.bin")
    read=$(accesses "${lpt[@]}" "${tool[@]}" -e $bytes --read "$work/back.bin")
    usb_id=$(seconds "${usb[@]}" "${tool[@]}" -e 1 --read "$work/none.bin")
    usb_read=$(seconds "${usb[@]}" "${tool[@]}" -e $bytes --read "$work/back.bin")
    row+=" | $(per_word "$read" "$id" $words) | $(mb_minutes "$read" "$id" $words $mb_words 1e-6) min"
    row+=" | $(per_word_us "$usb_read" "$usb_id" $words) | $(mb_minutes "$usb_read" "$usb_id" $words $mb_words 1) min |"
    echo "$row"
done
