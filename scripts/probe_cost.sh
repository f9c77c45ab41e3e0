#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What a job costs through a J-Link and through Linux GPIO lines on the virtual board, from
# tarnflash-sim --stats: microseconds per bus word through a J-Link at 4 MHz and 12 MHz TCK (125 us
# per USB round trip), and through GPIO lines at 2 us per system call, with the TCK that reaches.
# Program + verify is the whole run minus an erase-only run of the same range, and a read the
# whole run minus identification, as in scripts/port_cost.sh.
#   scripts/probe_cost.sh [CPU]        (default KTR5200; 64 KB jobs)
set -euo pipefail
bytes=65536
pins=tck=11,tms=25,tdi=10,tdo=9
source "$(dirname "$0")/cost_setup.sh"

# A counter of the run's --stats.
stat() {
    local name=$1
    shift
    { "$sim" "$@" 2>&1 >/dev/null || true; } | awk -v p="^$name:" '$0 ~ p { s += $2 } END { printf "%.9f\n", s }'
}
per_word_us() { awk -v a="$1" -v b="$2" -v w="$3" 'BEGIN { printf "%.1f", (a - b) / w * 1e6 }'; }
# µs per word of a job (the run minus its reference run) through the cable the arguments name.
job_us() {
    local words=$1 job=$2
    shift 2
    local base=(-e $bytes) run=(-f"$work/image.bin")
    [ "$job" = read ] && base=(-e 1 --read "$work/none.bin") && run=(-e $bytes --read "$work/back.bin")
    per_word_us "$(stat virtual_seconds "$@" "${run[@]}")" "$(stat virtual_seconds "$@" "${base[@]}")" "$words"
}

echo "| flash | bus | J-Link 4 MHz, program + verify, µs a word | J-Link 12 MHz | J-Link 4 MHz, read, µs a word | J-Link 12 MHz | GPIO, program + verify, µs a word | GPIO, read, µs a word | GPIO, TCK reached |"
echo "|---|---|---|---|---|---|---|---|---|"
for setup in "S29AL008D 16 1" "S29GL064M 16 1" "AM29LV040B 8 2"; do
    read -r model width chips <<<"$setup"
    bus="${width}x${chips}"
    words=$(( bytes * 8 / (width * chips) ))
    board=(--cpu "$cpu" --flash "$model" --bus "$bus" --stats)
    tool=(-C "$cpu" -F "$model" -w "$width" -i "$chips")
    row="| $model | $bus"
    for job in program read; do
        for hz in 4000000 12000000; do
            row+=" | $(job_us $words $job "${board[@]}" --cable jlink -- --cable jlink --tck-hz $hz "${tool[@]}")"
        done
    done
    gpio=("${board[@]}" --cable gpio -- --cable gpio:gpiochip0 --gpio-pins $pins "${tool[@]}")
    for job in program read; do
        row+=" | $(job_us $words $job "${gpio[@]}")"
    done
    clocks=$(stat gpio_clocks "${gpio[@]}" -f"$work/image.bin")
    seconds=$(stat virtual_seconds "${gpio[@]}" -f"$work/image.bin")
    row+=" | $(awk -v c="$clocks" -v s="$seconds" 'BEGIN { printf "%.0f kHz", c / s / 1000 }') |"
    echo "$row"
done
