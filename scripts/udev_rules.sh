#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The udev rule of the package: the plugdev group (and the user at the seat) gets the FTDI
# adapters the tool drives, 0403:6010 and 0403:6014, and those of OpenOCD's interface/ftdi/*.cfg
# files that --cable-config reads. The tool itself says which: a file it refuses (SWD only, TDO
# sampled on the falling edge, a command it does not know) adds nothing. SEGGER's J-Links come
# from OpenOCD's own udev rule (OPENOCD_RULES, default /lib/udev/rules.d/60-openocd.rules), and so
# do CMSIS-DAP probes: the entries whose comments name CMSIS-DAP, for the USB device and its HID node.
#   scripts/udev_rules.sh [SCRIPTS_FOLDER] > packaging/60-tarnflash.rules
#   scripts/udev_rules.sh --check RULES [SCRIPTS_FOLDER]   (status 1 and the missing pairs)
# The rule is kept in the tree, so that the package does not depend on the OpenOCD version of
# the machine that builds it; CI checks it against the OpenOCD it has. TARNFLASH names the tool
# (default build/tarnflash).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${TARNFLASH:-$root/build/tarnflash}
check=
if [ "${1:-}" = --check ]; then
    check=$2
    shift 2
fi
scripts=${1:-/usr/share/openocd/scripts}
openocd_rules=${OPENOCD_RULES:-/lib/udev/rules.d/60-openocd.rules}
[ -x "$tool" ] || { echo "udev_rules.sh: no $tool; build it, or name it in TARNFLASH" >&2; exit 1; }

# vid:pid pairs, one a line, lower-case hex.
pairs() {
    local cfg
    {
        printf '0403:6010\n0403:6014\n'
        for cfg in "$scripts"/interface/ftdi/*.cfg; do
            [ -f "$cfg" ] || continue
            "$tool" --cable-config "$cfg" --cable-info 2>/dev/null | sed -n 's/^vid_pid //p' || true
        done
        # The lines under OpenOCD's "# SEGGER J-Link" heading, up to the next blank line.
        [ ! -f "$openocd_rules" ] || sed -n '/^# SEGGER J-Link/,/^$/s/.*idVendor}=="\([0-9a-fA-F]*\)", ATTRS{idProduct}=="\([0-9a-fA-F]*\)".*/\1:\2/p' \
            "$openocd_rules"
    } | tr 'A-F' 'a-f' | LC_ALL=C sort -u
}

# The CMSIS-DAP rules: each OpenOCD entry under a comment that names CMSIS-DAP, the comment kept.
cmsis_dap() {
    [ -f "$openocd_rules" ] || { echo "udev_rules.sh: no $openocd_rules (Debian's openocd installs it)" >&2; exit 1; }
    awk '/^#/ { named = ($0 ~ /CMSIS-DAP/); if (named) print; next }
         named && /^ATTRS/ { match($0, /^(ATTRS\{[a-zA-Z]+\}=="[^"]*", )+/)
                              print "SUBSYSTEM==\"usb|hidraw\", " substr($0, 1, RLENGTH) \
                                    "MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"" }
         /^$/ { named = 0 }' "$openocd_rules"
}

if [ -n "$check" ]; then
    missing=$(cmsis_dap | grep -v '^#' | grep -vxF -f "$check" || true)
    if [ -n "$missing" ]; then
        echo "$check lacks CMSIS-DAP rules of $openocd_rules:" "$missing" >&2
        exit 1
    fi
    missing=$(comm -23 <(pairs) <(grep -o 'idVendor}=="[0-9a-f]*", ATTR{idProduct}=="[0-9a-f]*"' "$check" |
        sed 's/idVendor}=="\(.*\)", ATTR{idProduct}=="\(.*\)"/\1:\2/' | LC_ALL=C sort -u))
    if [ -n "$missing" ]; then
        echo "$check lacks adapters of $scripts/interface/ftdi or J-Links of $openocd_rules:" $missing >&2
        exit 1
    fi
    exit 0
fi

cat <<'HEAD'
# SPDX-License-Identifier: Apache-2.0
# tarnflash: the FTDI USB JTAG adapters, SEGGER J-Links and CMSIS-DAP probes it drives, for the
# plugdev group and the user at the seat. Made by scripts/udev_rules.sh from OpenOCD's interface/ftdi
# adapter files and its udev rule's J-Links and CMSIS-DAP entries (USB device and HID node).
HEAD
pairs | while IFS=: read -r vid pid; do
    printf 'SUBSYSTEM=="usb", ATTR{idVendor}=="%s", ATTR{idProduct}=="%s", MODE="0660", GROUP="plugdev", TAG+="uaccess"\n' \
        "$vid" "$pid"
done
cmsis_dap
