#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Windows: cross-build the statically linked 32-bit executables, check them, and run
# tarnflash-sim.exe and tarnflash.exe under Wine. The simulator's console text and exit
# status must match the Linux build's (in ./build, made first by .ci/run). The USB cable runs
# through a stand-in for FTDI's ftd2xx.dll built from the virtual board.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
linux_sim="$root/build/tarnflash-sim"

export DEBIAN_FRONTEND=noninteractive
now() { date +%s; }
t_all=$(now)

if [ "$(id -u)" = 0 ]; then
    t=$(now)
    dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 file >/dev/null
    echo "windows: install took $(( $(now) - t )) s"
fi

t=$(now)
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686
echo "windows: 32-bit build took $(( $(now) - t )) s"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "windows: ok   $1"; }
fail() { failed=$((failed + 1)); echo "windows: FAIL $1"; }

# The PE header's machine field: 0x14c is i386.
pe_machine() {
    local pe
    pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    [ "$(od -An -c -j "$pe" -N 4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo none; return; }
    od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' '
}

for exe in tarnflash tarnflash-sim; do
    path="build-windows/$exe.exe"
    machine=$(pe_machine "$path")
    if [ "$machine" = 014c ]; then pass "$exe.exe is a 32-bit PE ($(file -b "$path" | cut -d, -f1))"
    else fail "$exe.exe machine is $machine, not 014c"; fi
    # Only DLLs that every Windows has (advapi32 for the SHA-256 of a job report): the compiler's runtime is linked in.
    dlls=$(i686-w64-mingw32-objdump -p "$path" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
    if [ "$dlls" = "advapi32.dll kernel32.dll msvcrt.dll " ]; then pass "$exe.exe needs only advapi32.dll, kernel32.dll and msvcrt.dll"
    else fail "$exe.exe imports: $dlls"; fi
done

# Wine's 32-bit side needs a kernel that runs 32-bit programs. Where it has none, Wine
# runs the 64-bit build of the same sources instead, and says so.
exe_dir="$root/build-windows"
wine_cmd=(wine)
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "windows: this kernel runs no 32-bit programs: Wine runs the 64-bit build of the same sources"
    t=$(now)
    cmake --preset windows-x86_64 >/dev/null
    cmake --build --preset windows-x86_64
    echo "windows: 64-bit build took $(( $(now) - t )) s"
    exe_dir="$root/build-windows-x86_64"
    export WINELOADER=/usr/lib/wine/wine64
    wine_cmd=(/usr/lib/wine/wine64)
fi

work=$(mktemp -d)
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

t=$(now)
"${wine_cmd[@]}" wineboot -i >/dev/null 2>&1
echo "windows: wineboot took $(( $(now) - t )) s"

# Standard input of the runs: none (/dev/null), or answers.txt given as a file or a pipe.
stdin_mode=none

# Runs one side in the work folder: run_side NAME SIDE COMMAND...; leaves NAME.SIDE
# (console text without CR) and NAME.SIDE.status, and any out.bin as NAME.SIDE.bin.
run_side() {
    local name=$1 side=$2
    shift 2
    rm -f "$work/out.bin"
    local status=0
    case $stdin_mode in
    pipe) (cd "$work" && cat answers.txt | "$@" >"$name.$side.raw" 2>/dev/null) || status=$? ;;
    file) (cd "$work" && "$@" <answers.txt >"$name.$side.raw" 2>/dev/null) || status=$? ;;
    *) (cd "$work" && "$@" </dev/null >"$name.$side.raw" 2>/dev/null) || status=$? ;;
    esac
    tr -d '\r' <"$work/$name.$side.raw" >"$work/$name.$side"
    echo "$status" >"$work/$name.$side.status"
    if [ -f "$work/out.bin" ]; then mv "$work/out.bin" "$work/$name.$side.bin"; fi
}

# sim_case NAME STATUS TEXT SIM-ARGS...: tarnflash-sim.exe under Wine must print what the
# Linux tarnflash-sim prints, with the same status, which must be STATUS; TEXT must appear.
# A flash written with --flash-out out.bin must be the same on both sides and hold img.bin.
sim_case() {
    local name=$1 want_status=$2 want_text=$3
    shift 3
    run_side "$name" linux "$linux_sim" "$@"
    run_side "$name" wine "${wine_cmd[@]}" "$exe_dir/tarnflash-sim.exe" "$@"
    local linux_status wine_status
    linux_status=$(cat "$work/$name.linux.status")
    wine_status=$(cat "$work/$name.wine.status")
    if ! cmp -s "$work/$name.linux" "$work/$name.wine"; then
        fail "$name: Wine's console text differs from Linux's"
        diff "$work/$name.linux" "$work/$name.wine" | head -20 | cut -c1-200 || true
    elif [ "$wine_status" != "$linux_status" ] || [ "$wine_status" != "$want_status" ]; then
        fail "$name: status $wine_status under Wine, $linux_status on Linux, want $want_status"
    elif ! grep -qF -- "$want_text" "$work/$name.wine"; then
        fail "$name: no '$want_text' in the output"
        head -20 "$work/$name.wine" | cut -c1-200
    elif [ -f "$work/$name.linux.bin" ] && ! cmp -s "$work/$name.linux.bin" "$work/$name.wine.bin"; then
        fail "$name: the flash after the run differs between Wine and Linux"
    elif [ -f "$work/$name.wine.bin" ] &&
        ! cmp -s -n "$(stat -c %s "$work/img.bin")" "$work/img.bin" "$work/$name.wine.bin"; then
        fail "$name: the flash does not hold the image"
    else
        pass "$name (status $wine_status$([ -f "$work/$name.wine.bin" ] && echo ", flash holds the image"))"
    fi
}

t=$(now)
sim_case idcode 0 "OK!, JTAG ID:   00011011010011100010000011010011" --cpu KTR5200 -- -C KTR5200 -j
sim_case idcode-paxon 0 "OK!, JTAG ID:   00000000100100111010000011000101" --cpu PAXON -- -C PAXON -j
sim_case idcode-mismatch 1 "Invalid JTAG ID" --cpu MIRTA -- -C KTR5200 -j
sim_case no-port 1 "Cannot get LPT PORT" --no-port -- -C KTR5200 -j
sim_case port-0x3bc 0 "OK!, JTAG ID:" --port-base 0x3BC -- /C KTR5200 -j
sim_case usage 1 "JTAG NOR Flash Writer : VER 1.03" --
sim_case no-cpu 1 "Type your CPU name with '-C' option" -- -j
sim_case bad-number 1 "** Error: invalid number '0x'" -- -C KTR5200 -w 0x

# A complete programming run: an odd-sized image into the first 64 KiB block.
head -c 3001 /dev/urandom >"$work/img.bin"
program=(--cpu KTR5200 --flash S29AL008D --flash-out out.bin --)
sim_case program 0 "Flash writing & verifying OK" "${program[@]}" -C KTR5200 -F S29AL008D -w 16 -i 1 -e 0x10000 -f img.bin
# The same, with model, width and chip count answered on standard input.
printf '1\n16\n1\n' >"$work/answers.txt"
stdin_mode=file sim_case program-answers-file 0 "Flash writing & verifying OK" "${program[@]}" -C KTR5200 -e 0x10000 -f img.bin
stdin_mode=pipe sim_case program-answers-pipe 0 "Flash writing & verifying OK" "${program[@]}" -C KTR5200 -e 0x10000 -f img.bin
printf '1\n' >"$work/answers.txt"
stdin_mode=pipe sim_case answers-end-early 1 "No more console input" -- -C KTR5200 -e 0x10000 -f img.bin

# The USB cable through FTDI's D2XX library: the stand-in ftd2xx.dll (the virtual board's
# adapter, test code only) beside a copy of tarnflash.exe. The runs' folder has no ftd2xx.dll.
d2xx_dir="$work/d2xx"
mkdir -p "$d2xx_dir"
cp "$exe_dir/tarnflash.exe" "$exe_dir/fake-d2xx/ftd2xx.dll" "$d2xx_dir/"
head -c 65536 /dev/urandom >"$work/img64.bin"

# d2xx_case NAME STATUS TEXT BOARD FAULT TOOL-ARGS...: the board and fault as the stand-in reads
# them. With out.bin as the board's --flash-out (for runs that open the adapter), the file must
# exist afterwards (FT_Close writes it: the adapter was closed) and, at status 0, hold img64.bin.
d2xx_case() {
    local name=$1 want_status=$2 want_text=$3 board=$4
    export TARNFLASH_D2XX_BOARD=$4 TARNFLASH_D2XX_FAULT=$5
    shift 5
    run_side "$name" d2xx "${wine_cmd[@]}" "$d2xx_dir/tarnflash.exe" "$@"
    unset TARNFLASH_D2XX_BOARD TARNFLASH_D2XX_FAULT
    local status flash="$work/$name.d2xx.bin" closed=""
    status=$(cat "$work/$name.d2xx.status")
    if [ "$status" != "$want_status" ]; then
        fail "$name: status $status, want $want_status"
        tail -5 "$work/$name.d2xx" | cut -c1-200
    elif ! grep -qF -- "$want_text" "$work/$name.d2xx"; then
        fail "$name: no '$want_text' in the output"
        tail -5 "$work/$name.d2xx" | cut -c1-200
    elif [[ $board == *out.bin* ]] && [ ! -f "$flash" ]; then
        fail "$name: the adapter was never closed"
    elif [[ $board == *out.bin* ]] && [ "$status" = 0 ] && ! cmp -s -n 65536 "$work/img64.bin" "$flash"; then
        fail "$name: the flash does not hold the image"
    else
        if [[ $board == *out.bin* ]]; then closed=", adapter closed"; fi
        if [[ $board == *out.bin* ]] && [ "$status" = 0 ]; then closed+=", flash holds the image"; fi
        pass "$name (status $status$closed)"
    fi
}

amd=(--cpu KTR5200 --flash S29GL064M --flash-out out.bin)
amd_job=(--cable ftdi -C KTR5200 -F S29GL064M -w 16 -i 1 -f img64.bin)
d2xx_case d2xx-amd 0 "Flash writing & verifying OK" "${amd[*]}" "" "${amd_job[@]}"
d2xx_case d2xx-intel 0 "Flash writing & verifying OK" "--cpu KTR5200 --flash 28F128J3 --flash-out out.bin" "" \
    --cable ftdi -C KTR5200 --detect -f img64.bin
d2xx_case d2xx-list 0 "0403:6010 FT1234B Dual RS232-HS B (FT2232H, location 0x212)" "--usb-serial FT1234" "" --cable-list
d2xx_case d2xx-list-ft232h 0 "0403:6014 - Dual RS232-HS (FT232H, location 0x211)" "--usb-id 0403:6014" "" --cable-list
d2xx_case d2xx-serial 0 "OK!, JTAG ID:" "--usb-serial FT1234" "" --cable ftdi --cable-serial FT1234 -C KTR5200 -j
# Channel B is not wired to the header: its clocks never reach the TAP.
d2xx_case d2xx-channel-b 1 "Invalid JTAG ID" "--usb-serial FT1234" "" --cable ftdi --cable-serial FT1234B -C KTR5200 -j
d2xx_case d2xx-no-serial 1 "no USB JTAG adapter found (looked for 0403:6010 or 0403:6014 with serial FT9)" \
    "--usb-serial FT1234" "" --cable ftdi --cable-serial FT9 -C KTR5200 -j
# The transport's error table.
d2xx_case d2xx-open-fails 1 "cannot open USB device 0403:6010 at location 0x211: FT_DEVICE_NOT_OPENED" \
    "--cpu KTR5200 --flash S29GL064M" open "${amd_job[@]}"
d2xx_case d2xx-reads-trickle 0 "Flash writing & verifying OK" "${amd[*]}" trickle "${amd_job[@]}"
d2xx_case d2xx-short-read 1 "Stopped by a cable error (USB read timed out: 20 of 41 answer bytes came)" \
    "${amd[*]}" short:40 "${amd_job[@]}"
d2xx_case d2xx-timeout 1 "Stopped by a cable error (USB read timed out: 0 of 41 answer bytes came)" \
    "${amd[*]}" timeout:40 "${amd_job[@]}"
d2xx_case d2xx-gone 1 "Stopped by a cable error (USB write failed: FT_IO_ERROR)" "${amd[*]}" gone:40 "${amd_job[@]}"

# One job per adapter: while a first job holds it open (the stand-in waits for go.txt once the
# adapter is in MPSSE mode, and says so with held.txt), a second is refused at once.
rm -f "$work/held.txt" "$work/go.txt"
(export TARNFLASH_D2XX_BOARD="--usb-serial FT1234" TARNFLASH_D2XX_FAULT=hold
    run_side d2xx-holder d2xx "${wine_cmd[@]}" "$d2xx_dir/tarnflash.exe" --cable ftdi -C KTR5200 -j) &
holder=$!
for _ in $(seq 600); do [ -f "$work/held.txt" ] && break; sleep 0.1; done
d2xx_case d2xx-busy 1 'USB adapter 0403:6010 serial FT1234 is in use by another job (Local\tarnflash-usb-0403-6010-FT1234)' \
    "--usb-serial FT1234" "" --cable ftdi -C KTR5200 -j
touch "$work/go.txt"
wait "$holder"
if [ "$(cat "$work/d2xx-holder.d2xx.status")" = 0 ]; then pass "d2xx-holder: the first job went on (status 0)"
else fail "d2xx-holder: status $(cat "$work/d2xx-holder.d2xx.status")"; fi

# Without ftd2xx.dll: the USB cable is refused, naming the driver that installs it.
no_d2xx="No ftd2xx.dll on this PC: the USB cable needs FTDI's D2XX driver, which installs it"
run_side no-d2xx wine "${wine_cmd[@]}" "$exe_dir/tarnflash.exe" --cable ftdi -C KTR5200 -F S29GL064M -w 16 -i 1 -f img64.bin
printf '%s\n' "  ***********  TARN JTAG NOR  **********" "  ***********  VERSION: 1.03  **********" "$no_d2xx" \
    >"$work/no-d2xx.want"
if cmp -s "$work/no-d2xx.want" "$work/no-d2xx.wine" && [ "$(cat "$work/no-d2xx.wine.status")" = 1 ]; then
    pass "tarnflash.exe --cable ftdi without ftd2xx.dll (status 1)"
else
    fail "tarnflash.exe --cable ftdi without ftd2xx.dll: status $(cat "$work/no-d2xx.wine.status")"
    cat "$work/no-d2xx.wine"
fi
run_side no-d2xx-list wine "${wine_cmd[@]}" "$exe_dir/tarnflash.exe" --cable-list
if [ "$(cat "$work/no-d2xx-list.wine")" = "$no_d2xx" ] && [ "$(cat "$work/no-d2xx-list.wine.status")" = 1 ]; then
    pass "tarnflash.exe --cable-list without ftd2xx.dll (status 1)"
else
    fail "tarnflash.exe --cable-list without ftd2xx.dll: status $(cat "$work/no-d2xx-list.wine.status")"
    cat "$work/no-d2xx-list.wine"
fi

# The real tool: Wine is of the NT family and has no giveio driver.
run_side giveio wine "${wine_cmd[@]}" "$exe_dir/tarnflash.exe" -C KTR5200 -j
printf '%s\n' "  ***********  TARN JTAG NOR  **********" "  ***********  VERSION: 1.03  **********" \
    "Couldn't access giveio device" >"$work/giveio.want"
if cmp -s "$work/giveio.want" "$work/giveio.wine" && [ "$(cat "$work/giveio.wine.status")" = 1 ]; then
    pass "tarnflash.exe without giveio (status 1)"
else
    fail "tarnflash.exe without giveio: status $(cat "$work/giveio.wine.status")"
    cat "$work/giveio.wine"
fi
# No sockets in this build: a network cable is refused with one line.
run_side network wine "${wine_cmd[@]}" "$exe_dir/tarnflash.exe" --cable xvc:127.0.0.1:1 -C KTR5200 -j
if grep -qF "This build has no network cables" "$work/network.wine" && [ "$(cat "$work/network.wine.status")" = 1 ]; then
    pass "tarnflash.exe refuses a network cable (status 1)"
else
    fail "tarnflash.exe with --cable xvc: status $(cat "$work/network.wine.status")"
    cat "$work/network.wine"
fi
echo "windows: scenarios took $(( $(now) - t )) s, all of Windows CI $(( $(now) - t_all )) s"

echo "windows: $passed passed, $failed failed"
[ "$failed" = 0 ]
