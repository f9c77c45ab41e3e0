#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What programming costs through the virtual CMSIS-DAP probe, from tarnflash-sim --stats: per
# programmed-and-verified word the virtual microseconds, packets, round trips and TCK clocks,
# beside the floor. Program + verify is the whole run minus an erase-only run of the same range.
#
# The floor is the time that the probe's TCK and link need for the clocks the job sends, whichever
# is longer (they overlap while packets are in flight):
#   TCK:  clocks / rate;
#   link: the fewest packets those clocks fit in (64 clocks a sequence, 9 bytes with its INFO
#         byte; packet size - 2 bytes a packet) times, for v1, one 1 ms frame; for v2, the bytes
#         at 480 Mbit/s.
# Round trips the job cannot avoid (reading status) are not in it: the floor is a lower bound.
#   scripts/dap_cost.sh [CPU]        (default KTR5200; 64 KB jobs)
set -euo pipefail
bytes=65536
source "$(dirname "$0")/cost_setup.sh"

# The counters of one run, "name value" a line.
stats() { { "$sim" "$@" 2>&1 >/dev/null || true; } | awk -F': ' 'NF == 2 { print $1, $2 }'; }
pick() { awk -v n="$2" '$1 == n { print $2 }' <<<"$1"; }

echo "| flash | link | TCK | µs a word | floor, µs a word | ratio | packets a word | round trips a word | clocks a word | rejected |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for model in S29GL064M S29AL008D; do
    for version in 1 2; do
        size=$([ $version = 1 ] && echo 64 || echo 512)
        for hz in 1000000 10000000; do
            board=(--cable cmsis-dap --dap-version $version --cpu "$cpu" --flash "$model" --stats --)
            tool=(--tck-hz $hz -C "$cpu" -F "$model" -w 16 -i 1)
            erase=$(stats "${board[@]}" "${tool[@]}" -e $bytes)
            program=$(stats "${board[@]}" "${tool[@]}" -f"$work/image.bin")
            words=$((bytes / 2))
            awk -v m="$model" -v v=$version -v hz=$hz -v size=$size -v w=$words \
                -v s1="$(pick "$program" virtual_seconds)" -v s0="$(pick "$erase" virtual_seconds)" \
                -v p1="$(pick "$program" dap_packets)" -v p0="$(pick "$erase" dap_packets)" \
                -v r1="$(pick "$program" dap_round_trips)" -v r0="$(pick "$erase" dap_round_trips)" \
                -v c1="$(pick "$program" tck_clocks)" -v c0="$(pick "$erase" tck_clocks)" \
                -v j="$(pick "$program" dap_rejected)" 'BEGIN {
                us = (s1 - s0) / w * 1e6; clocks = (c1 - c0) / w
                tck = clocks / hz * 1e6
                bytes = clocks / 64 * 9
                link = v == 1 ? bytes / (size - 2) * 1000 : bytes * 8 / 480
                floor = tck > link ? tck : link
                printf "| %s | v%d, %d-byte packets | %g MHz | %.1f | %.1f | %.2fx | %.3f | %.3f | %.0f | %d |\n",
                    m, v, size, hz / 1e6, us, floor, us / floor, (p1 - p0) / w, (r1 - r0) / w, clocks, j }'
        done
    done
done
