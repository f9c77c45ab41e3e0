// SPDX-License-Identifier: Apache-2.0
// A stand-in for FTDI's ftd2xx.dll, for the tests of the Windows build: placed beside
// tarnflash.exe, it serves the virtual board's USB adapter through the D2XX calls the USB cable
// makes. Test code only: never installed or packaged. Set up by environment variables, read here
// only:
//   TARNFLASH_D2XX_BOARD  the board, as tarnflash-sim's options separated by spaces
//                         ("--cpu KTR5200 --flash S29GL064M --flash-in a.bin --flash-out b.bin")
//   TARNFLASH_D2XX_FAULT  one fault: "open" (FT_OpenEx fails), "trickle" (every FT_Read brings one
//                         byte at most), "short:N" (from the Nth FT_Read on, half the bytes asked
//                         come, then none), "timeout:N" (from the Nth FT_Read on, none come),
//                         "gone:N" (from the Nth FT_Write on, the device is unplugged),
//                         "hold" (once in MPSSE mode, the file held.txt is made, and nothing
//                         goes on until the file go.txt appears: the adapter stays open)
// The adapter's channels are listed as D2XX lists them (serial and description with the channel's
// letter on a two-channel chip). FT_Close writes the flash contents to the board's --flash-out,
// so a file there shows that the device was closed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/board.h"
#include "sim/sim_options.h"

#define D2XX_EXPORT extern "C" __declspec(dllexport)

namespace {

// FTDI's types, as its programming guide gives them.
using FT_STATUS = unsigned long;
using FT_HANDLE = void*;
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;

struct FT_DEVICE_LIST_INFO_NODE {
    unsigned long Flags;
    unsigned long Type;
    unsigned long ID;
    unsigned long LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

struct Channel {
    char letter;
    FT_DEVICE_LIST_INFO_NODE node;
};

struct Fake {
    sim::SimOptions options;
    std::unique_ptr<sim::VirtualBoard> board;
    std::vector<Channel> channels;
    std::string fault;
    uint64_t fault_from = 0;
    uint64_t reads = 0;
    uint64_t writes = 0;
    const Channel* open = nullptr;  // the handle is its address
};

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void copy(char* field, size_t size, const std::string& text) { std::snprintf(field, size, "%s", text.c_str()); }

// The FT232H has one channel; every other adapter is taken for a two-channel chip, an FT2232H.
void list_channels(Fake& fake)
{
    const sim::MpsseConfig& usb = fake.board->config().usb;
    if (!usb.present)
        return;
    const bool single = usb.id.product == 0x6014;
    const std::string description = fake.board->mpsse().device().description;
    for (char letter : single ? std::string("A") : std::string("AB")) {
        Channel c{letter, {}};
        c.node.Type = single ? 8 : 6;
        c.node.ID = static_cast<unsigned long>(usb.id.vendor) << 16 | usb.id.product;
        c.node.LocId = 0x211u + static_cast<unsigned>(letter - 'A');
        copy(c.node.SerialNumber, sizeof c.node.SerialNumber,
             usb.serial.empty() || single ? usb.serial : usb.serial + letter);
        copy(c.node.Description, sizeof c.node.Description, single ? description : description + ' ' + letter);
        fake.channels.push_back(c);
    }
}

Fake* fake()
{
    static std::unique_ptr<Fake> made;
    if (made)
        return made.get();
    made = std::make_unique<Fake>();
    std::vector<std::string> args;
    std::istringstream words(env("TARNFLASH_D2XX_BOARD"));
    for (std::string word; words >> word;)
        args.push_back(word);
    std::string refusal;
    sim::BoardConfig config;
    Outcome made_board = sim::parse_sim_options(args, made->options, refusal);
    if (made_board.ok())
        made_board = sim::board_config(made->options, config, refusal);
    if (made_board.ok())
        made_board = sim::VirtualBoard::create(config, made->board, refusal);
    if (!made_board.ok()) {
        std::fprintf(stderr, "fake ftd2xx.dll: %s\n", made_board.detail);
        return made.get();
    }
    list_channels(*made);
    const std::string fault = env("TARNFLASH_D2XX_FAULT");
    const size_t colon = fault.find(':');
    made->fault = fault.substr(0, colon);
    made->fault_from = colon == std::string::npos ? 0 : std::strtoull(fault.c_str() + colon + 1, nullptr, 10);
    return made.get();
}

// A handshake with the test through two files in the current folder.
void hold_open()
{
    if (FILE* held = std::fopen("held.txt", "w"))
        std::fclose(held);
    FILE* go = nullptr;
    while ((go = std::fopen("go.txt", "r")) == nullptr)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::fclose(go);
}

bool faulty(const Fake& f, const char* kind, uint64_t count) { return f.fault == kind && count >= f.fault_from; }

Fake* opened(FT_HANDLE handle)
{
    Fake* f = fake();
    return f->open != nullptr && handle == f->open ? f : nullptr;
}

}  // namespace

D2XX_EXPORT FT_STATUS __stdcall FT_CreateDeviceInfoList(unsigned long* count)
{
    *count = static_cast<unsigned long>(fake()->channels.size());
    return FT_OK;
}

D2XX_EXPORT FT_STATUS __stdcall FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, unsigned long* count)
{
    Fake* f = fake();
    *count = static_cast<unsigned long>(f->channels.size());
    for (size_t i = 0; i < f->channels.size(); ++i) {
        list[i] = f->channels[i].node;
        list[i].Flags = &f->channels[i] == f->open ? 1 : 0;  // FT_FLAGS_OPENED
    }
    return FT_OK;
}

D2XX_EXPORT FT_STATUS __stdcall FT_OpenEx(void* arg, unsigned long flags, FT_HANDLE* handle)
{
    Fake* f = fake();
    *handle = nullptr;
    for (const Channel& c : f->channels) {
        const bool named = (flags == 1 && std::strcmp(static_cast<const char*>(arg), c.node.SerialNumber) == 0) ||
                           (flags == 2 && std::strcmp(static_cast<const char*>(arg), c.node.Description) == 0) ||
                           (flags == 4 && reinterpret_cast<uintptr_t>(arg) == c.node.LocId);
        if (!named)
            continue;
        if (f->open != nullptr || f->fault == "open")
            return FT_DEVICE_NOT_OPENED;
        f->open = &c;
        *handle = const_cast<Channel*>(&c);
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

D2XX_EXPORT FT_STATUS __stdcall FT_Close(FT_HANDLE handle)
{
    Fake* f = opened(handle);
    if (f == nullptr)
        return FT_INVALID_HANDLE;
    f->board->mpsse().close();
    f->open = nullptr;
    std::string words;
    if (Outcome written = sim::write_flash_out(f->options, *f->board, words); !written.ok())
        std::fprintf(stderr, "fake ftd2xx.dll: %s\n", written.detail);
    return FT_OK;
}

// Reset, transfer sizes, event characters, timeouts, latency timer, purge: nothing to do on the
// board, but only for an open device.
D2XX_EXPORT FT_STATUS __stdcall FT_ResetDevice(FT_HANDLE handle) { return opened(handle) ? FT_OK : FT_INVALID_HANDLE; }
D2XX_EXPORT FT_STATUS __stdcall FT_SetUSBParameters(FT_HANDLE handle, unsigned long, unsigned long)
{
    return opened(handle) ? FT_OK : FT_INVALID_HANDLE;
}
D2XX_EXPORT FT_STATUS __stdcall FT_SetChars(FT_HANDLE handle, unsigned char, unsigned char, unsigned char,
                                            unsigned char)
{
    return opened(handle) ? FT_OK : FT_INVALID_HANDLE;
}
D2XX_EXPORT FT_STATUS __stdcall FT_SetTimeouts(FT_HANDLE handle, unsigned long, unsigned long)
{
    return opened(handle) ? FT_OK : FT_INVALID_HANDLE;
}
D2XX_EXPORT FT_STATUS __stdcall FT_SetLatencyTimer(FT_HANDLE handle, unsigned char)
{
    return opened(handle) ? FT_OK : FT_INVALID_HANDLE;
}
D2XX_EXPORT FT_STATUS __stdcall FT_Purge(FT_HANDLE handle, unsigned long)
{
    return opened(handle) ? FT_OK : FT_INVALID_HANDLE;
}

// Mode 0 gives every pin back; mode 2 starts the MPSSE engine with `mask` as the low byte's
// directions.
D2XX_EXPORT FT_STATUS __stdcall FT_SetBitMode(FT_HANDLE handle, unsigned char mask, unsigned char mode)
{
    Fake* f = opened(handle);
    if (f == nullptr)
        return FT_INVALID_HANDLE;
    if (faulty(*f, "gone", f->writes))
        return FT_IO_ERROR;
    sim::MpsseEngine& engine = f->board->mpsse();
    if (mode == 0) {
        engine.close();
        return FT_OK;
    }
    if (mode != 2)
        return FT_INVALID_PARAMETER;
    const sim::MpsseConfig& usb = f->board->config().usb;
    UsbDeviceChoice choice;
    choice.vendor = usb.id.vendor;
    choice.product = usb.id.product;
    choice.interface = f->open->letter;
    choice.serial = usb.serial;
    if (const char* reason = engine.open(choice, mask)) {
        std::fprintf(stderr, "fake ftd2xx.dll: %s\n", reason);
        return FT_IO_ERROR;
    }
    if (f->fault == "hold")
        hold_open();
    return FT_OK;
}

D2XX_EXPORT FT_STATUS __stdcall FT_Write(FT_HANDLE handle, void* buffer, unsigned long length, unsigned long* written)
{
    *written = 0;
    Fake* f = opened(handle);
    if (f == nullptr)
        return FT_INVALID_HANDLE;
    if (faulty(*f, "gone", ++f->writes))
        return FT_IO_ERROR;
    if (!f->board->mpsse().write(static_cast<const uint8_t*>(buffer), length))
        return FT_IO_ERROR;
    *written = length;
    return FT_OK;
}

// As the library does: what came within the read timeout, which may be less than asked for.
D2XX_EXPORT FT_STATUS __stdcall FT_Read(FT_HANDLE handle, void* buffer, unsigned long length, unsigned long* read)
{
    *read = 0;
    Fake* f = opened(handle);
    if (f == nullptr)
        return FT_INVALID_HANDLE;
    ++f->reads;
    if (faulty(*f, "gone", f->writes))
        return FT_IO_ERROR;
    if (faulty(*f, "timeout", f->reads) || (f->fault == "short" && f->reads > f->fault_from))
        return FT_OK;
    unsigned long want = length;
    if (f->fault == "trickle")
        want = std::min(want, 1ul);
    if (faulty(*f, "short", f->reads))
        want = length / 2;
    *read = static_cast<unsigned long>(f->board->mpsse().read_some(static_cast<uint8_t*>(buffer), want));
    return FT_OK;
}
