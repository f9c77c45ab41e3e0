// SPDX-License-Identifier: Apache-2.0
#include "app/help.h"

#include "app/cause_lines.h"
#include "platform/console.h"

void print_help()
{
    con_printf(
        "Usage: tarnflash -C CPU [-F MODEL] [-w 8|16] [-i 1|2] [-o ADDRESS] [-e SIZE | -eall] [-b BLOCK]\n"
        "                 [-f IMAGE | --read FILE | --verify FILE]\n"
        "       tarnflash -C CPU -j | -t\n"
        "       tarnflash --bsdl FILE --bus MAP [--hold PIN=0|1|z ...] ... | --bsdl FILE --bsdl-info\n"
        "Writes a raw image into the NOR flash on a TARN CPU's bus through its JTAG boundary scan.\n"
        "\n");
    con_printf("  -C NAME        CPU: %s (exact case)\n", cpu_names_text().c_str());
    con_printf(
        "  -F MODEL       flash, asked on the console when left out:\n"
        "                 %s\n",
        model_names_text().c_str());
    con_printf(
        "  -w 8|16        flash bus width; asked when left out\n"
        "  -i 1|2         chips side by side on the data bus; asked when left out\n"
        "  -o ADDRESS     start address on the CPU bus (decimal or 0x hex), default 0\n"
        "  -e SIZE        bytes to erase from the start address; -eall: the whole device\n"
        "  -b BLOCK       add the offset of this erase block (counted from the device's first block,\n"
        "                 0 upwards) to the start address: -o 0 -b 2 starts at the third block\n"
        "  -f IMAGE       the raw image to program; without it the run only erases\n"
        "  -j             check the JTAG IDCODE of the CPU\n"
        "  -t             drive every boundary-scan output with a toggling pattern until ESC\n"
        "  --read FILE    back the flash up into FILE, from the start address (the whole device, or -e SIZE)\n"
        "  --verify FILE  compare the flash from the start address with FILE; writes nothing\n"
        "  --verify-erase read back every erased word that the job does not program\n"
        "  --update       read the range first: leave equal blocks alone, program over blocks that only\n"
        "                 need bits cleared, erase the rest (with --read FILE: keeps what was read)\n"
        "  --cable ftdi   a USB JTAG adapter (FT2232H, FT2232D, FT232H) instead of the parallel port\n"
        "  --cable-id VID:PID, --cable-interface A|B, --cable-pins VALUE:DIRECTION, --tck-hz N\n"
        "                 which USB adapter, its interface, its extra pins (ADBUS4-7) and the TCK rate\n"
        "  --cable xvc:HOST[:PORT]  an XVC server's adapter (port 2542 by default; --tck-hz sets its TCK)\n"
        "  --cable remote-bitbang:HOST:PORT|unix:PATH  an OpenOCD remote_bitbang server (--srst hold|release)\n"
        "  --cable cmsis-dap  a CMSIS-DAP probe (v2 bulk, else v1 HID), chosen, clocked and reset with the\n"
        "                 USB adapter's options below; --cable-list lists the probes too\n"
        "  --bsdl FILE    the device described by a BSDL file instead of -C; -o is the flash's own address\n"
        "  --bus MAP      its flash signals: addr=A(1..22) data=D(0..15) ncs=nCS0 noe=nOE nwe=nWE\n"
        "  --hold PIN=0|1|z  a pin held low, high or released during the job (repeatable)\n"
        "  --bsdl-info    with --bsdl FILE alone: what the file says, no port touched\n"
        "  --detect       find the flash and its set-up from what it answers, without the menu\n"
        "  --unlock       unlock Intel-style locked blocks of the range before the erase\n"
        "  --unlock-all   the same where an unlock clears every block of the chip (28F128J3)\n"
        "  --cable-config FILE|NAME  the USB adapter as an OpenOCD FTDI interface file describes it\n"
        "  --cable-info   print what that file says; --cable-list: the FTDI adapters plugged in\n"
        "  --cable-serial SERIAL, --srst hold  the adapter with that serial; nSRST held during the job\n"
        "  --report FILE  the job's record in JSON, written however the job ends\n"
        "  --chain-list   the devices on the JTAG chain; --bsdl-dir DIR: BSDL files that name them\n"
        "  --device N, --chain L0,L1,...  the chain position a job runs on; every device's IR length\n"
        "  --cable jlink  a SEGGER J-Link (libjaylink); --cable-serial N picks one, --tck-hz N (default 4000000);\n"
        "                 --cable jlink --cable-list: the J-Links plugged in\n"
        "  --cable gpio:CHIP --gpio-pins tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N]  a Linux GPIO chip's lines\n"
        "                 (libgpiod), as on a Raspberry Pi's header: slow, a system call per TCK edge; for reach\n"
        "  --svf FILE     write the job as Serial Vector Format for an SVF player; no cable, no port\n"
        "                 (needs -F, -w and -i; --tck-hz N: the TCK rate its waits count, 1000000)\n"
        "  --help, --version\n"
        "\n"
        "Options take '-' or '/', with the value attached or separate (-CKTR5200, -C KTR5200).\n"
        "Exit status: 0 when the job was done and verified, 1 for every failure.\n");
}

void print_version()
{
    con_printf("tarnflash %s\n", TARNFLASH_VERSION_TEXT);
    con_printf("%s", kLicenceLine);
#ifdef TARNFLASH_USB_FTDI
    con_printf("USB cable: built in (libftdi1)\n");
#elif defined(_WIN32)
    con_printf("USB cable: built in (FTDI's D2XX driver, ftd2xx.dll, when installed)\n");
#else
    con_printf("USB cable: not built in (the parallel-port cable only)\n");
#endif
}
