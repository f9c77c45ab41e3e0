// SPDX-License-Identifier: Apache-2.0
#include "jtag/mpsse_cable.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "jtag/number_text.h"

namespace {
// MPSSE opcodes: TDI out on the falling edge, TDO in on the rising edge, LSB first.
constexpr uint8_t kBytesOut = 0x19;
constexpr uint8_t kBitsOut = 0x1B;
constexpr uint8_t kBytesInOut = 0x39;
constexpr uint8_t kBitsInOut = 0x3B;
constexpr uint8_t kTmsOut = 0x4B;
constexpr uint8_t kTmsInOut = 0x6B;
constexpr uint8_t kSetLow = 0x80;
constexpr uint8_t kSetHigh = 0x82;
constexpr uint8_t kLoopbackOff = 0x85;
constexpr uint8_t kDivisor = 0x86;
constexpr uint8_t kSendImmediate = 0x87;
constexpr uint8_t kDivideBy5Off = 0x8A;
constexpr uint8_t kThreePhaseOff = 0x8D;
constexpr uint8_t kAdaptiveOff = 0x97;
constexpr uint8_t kClockBits = 0x8E;   // 1 to 8 clocks, no data (H series)
constexpr uint8_t kClockBytes = 0x8F;  // 8 to 524288 clocks, no data (H series)
constexpr uint8_t kBadCommand = 0xFA;
// Opcodes no chip knows: each comes back as 0xFA and itself.
constexpr uint8_t kSync = 0xAA;
constexpr uint8_t kSentinel = 0xAB;

// TCK, TDI and TMS out, TMS high, TCK low.
constexpr uint8_t kJtagDirection = 0x0B;
constexpr uint8_t kJtagIdle = 0x08;
constexpr uint8_t kGpioMask = 0xF0;

constexpr uint32_t kSentinelBytes = 2;
constexpr size_t kSendBytes = 64 * 1024;  // a transfer this large is sent without waiting for flush()
constexpr int kTmsClocksMax = 7;
// A gap of unsampled cells longer than this is shifted write-only: its answer bytes cost more
// than the extra command headers.
constexpr uint32_t kGapBits = 64;

// TMS high for seven clocks: the TAP stays in (or walks to) Test-Logic-Reset while nTRST is low.
constexpr uint8_t kResetClocks[] = {kTmsOut, 6, 0x7F};

// An adapter layout's pins: ADBUS4-7 with the cable's JTAG levels, then ACBUS.
void append_pins(std::vector<uint8_t>& out, const MpssePins& pins, uint8_t jtag_value)
{
    out.insert(out.end(), {kSetLow, static_cast<uint8_t>(jtag_value | (pins.value & pins.direction & kGpioMask)),
                           static_cast<uint8_t>(kJtagDirection | (pins.direction & kGpioMask)), kSetHigh,
                           static_cast<uint8_t>(pins.value >> 8), static_cast<uint8_t>(pins.direction >> 8)});
}

uint8_t bit_of(char c) { return static_cast<uint8_t>(c) & 1; }

// The divisor of the fastest TCK not above `wanted`: base / ((1 + divisor) * 2).
uint16_t clock_divisor(uint32_t base_hz, uint32_t wanted)
{
    const uint64_t hz = std::clamp<uint64_t>(wanted, 1, base_hz / 2);
    return static_cast<uint16_t>(std::min<uint64_t>((base_hz + 2 * hz - 1) / (2 * hz) - 1, 0xFFFF));
}

// One or two hexadecimal digits, with or without 0x.
bool parse_hex_byte(const char* begin, const char* end, uint8_t& value)
{
    const std::string_view text(begin, static_cast<size_t>(end - begin));
    return text.size() - (has_hex_prefix(text) ? 2 : 0) <= 2 && parse_hex(text, value);
}
}  // namespace

const char* mpsse_parse_pins(const char* text, MpsseSettings& settings)
{
    const char* colon = text;
    while (*colon && *colon != ':')
        ++colon;
    const char* end = colon;
    while (*end)
        ++end;
    uint8_t value = 0;
    uint8_t direction = 0;
    if (!*colon || !parse_hex_byte(text, colon, value) || !parse_hex_byte(colon + 1, end, direction))
        return "cable pins must be VALUE:DIRECTION, two hex bytes such as 0x10:0x30";
    if ((value | direction) & ~kGpioMask)
        return "cable pins: only ADBUS4-7 (mask 0xF0) are free, ADBUS0-3 carry TCK, TDI, TDO and TMS";
    settings.gpio_value = value;
    settings.gpio_direction = direction;
    return nullptr;
}

MpsseCable::MpsseCable(UsbTransport& usb, const MpsseSettings& settings) : usb_(usb), settings_(settings) {}

void MpsseCable::discard_queue()
{
    out_.clear();
    placements_.clear();
    answers_due_ = 0;
    tms_count_ = 0;
}

bool MpsseCable::set_fault(const std::string& text)
{
    if (fault_.empty())
        fault_ = text;
    discard_queue();  // nothing queued means anything once the stream is out of step
    return false;
}

// Sends `commands`, which end in the bad command `echo` and 0x87: the answer must be 0xFA and
// `echo` alone, else a command before it was refused or the device is no MPSSE engine.
bool MpsseCable::expect_echo(const std::vector<uint8_t>& commands, uint8_t echo)
{
    uint8_t reply[2] = {};
    if (!usb_.write(commands.data(), commands.size()) || !usb_.read(reply, sizeof reply))
        return set_fault(usb_.error());
    if (reply[0] == kBadCommand && reply[1] == echo)
        return true;
    char text[96];
    if (reply[0] == kBadCommand)
        std::snprintf(text, sizeof text, "MPSSE: the adapter refused command 0x%02X", reply[1]);
    else
        std::snprintf(text, sizeof text, "MPSSE: the adapter does not answer as an MPSSE engine (0x%02X 0x%02X)",
                      reply[0], reply[1]);
    return set_fault(text);
}

const char* MpsseCable::open(const UsbDeviceChoice& device)
{
    fault_.clear();
    discard_queue();
    tck_hz_ = 0;
    const uint8_t gpio_direction = settings_.layout ? static_cast<uint8_t>(settings_.job.direction & kGpioMask)
                                                    : settings_.gpio_direction & kGpioMask;
    const uint8_t gpio_value =
        static_cast<uint8_t>((settings_.layout ? settings_.job.value : settings_.gpio_value) & gpio_direction);
    if (const char* reason = usb_.open(device, kJtagDirection | gpio_direction)) {
        set_fault(reason);
        return fault();
    }
    chip_ = usb_.chip();
    out_.reserve(kSendBytes + 65536 + 16);
    in_.reserve(chip_.buffer_bytes + kSentinelBytes);
    placements_.reserve(1024);

    const uint16_t divisor = clock_divisor(base_hz(chip_), settings_.tck_hz);
    // Only the H series knows the divide-by-5, adaptive and three-phase commands; the FT2232D
    // runs from 12 MHz with all three off anyway.
    std::vector<uint8_t> setup = {kLoopbackOff};
    setup.reserve(32);  // room for every command below, which also keeps GCC 12 from a false overflow warning
    if (chip_.h_series)
        setup.insert(setup.end(), {kDivideBy5Off, kAdaptiveOff, kThreePhaseOff});
    setup.insert(setup.end(),
                 {kDivisor, static_cast<uint8_t>(divisor & 0xFF), static_cast<uint8_t>(divisor >> 8), kSetLow,
                  static_cast<uint8_t>(kJtagIdle | gpio_value), static_cast<uint8_t>(kJtagDirection | gpio_direction)});
    if (settings_.layout)
        append_layout(setup);
    setup.insert(setup.end(), {kSentinel, kSendImmediate});
    if (!expect_echo({kSync, kSendImmediate}, kSync) || !expect_echo(setup, kSentinel)) {
        usb_.close();
        return fault();
    }
    tck_hz_ = base_hz(chip_) / (2u * (divisor + 1u));
    opened_ = true;
    return nullptr;
}

// The layout's pins, after a pulse of nTRST when the adapter has it.
void MpsseCable::append_layout(std::vector<uint8_t>& setup) const
{
    if (settings_.trst_pulse) {
        append_pins(setup, settings_.trst, kJtagIdle);
        setup.insert(setup.end(), std::begin(kResetClocks), std::end(kResetClocks));
    }
    append_pins(setup, settings_.job, kJtagIdle);
}

MpsseCable::~MpsseCable() { close(); }

void MpsseCable::close()
{
    if (!opened_)
        return;
    if (settings_.layout && fault_.empty())
        append_pins(out_, settings_.parked, 0);  // nSRST let go before the pins float
    flush();
    usb_.close();
    opened_ = false;
}

void MpsseCable::park()
{
    if (!fault_.empty())
        return;
    emit_tms();
    // TCK, TDI and TMS low, as the parallel cable leaves them; the adapter's own lines stay.
    const uint8_t gpio_direction = settings_.gpio_direction & kGpioMask;
    if (settings_.layout)
        append_pins(out_, settings_.job, 0);
    else
        out_.insert(out_.end(), {kSetLow, static_cast<uint8_t>(settings_.gpio_value & gpio_direction),
                                 static_cast<uint8_t>(kJtagDirection | gpio_direction)});
    flush();
}

void MpsseCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (!fault_.empty())
        return;
    for (uint8_t k = 0; k < clocks; ++k)
        tms_clock((path >> k) & 1, tdi);
}

void MpsseCable::tms_clock(int tms, int tdi, char* dest)
{
    // Clocks that care about TDI or TDO need a command of their own when the pending one
    // already holds another TDI or reads another clock.
    if ((tdi >= 0 && tms_tdi_ >= 0 && tdi != tms_tdi_) || (dest && tms_dest_))
        emit_tms();
    if (tms_count_ == 0) {
        tms_bits_ = 0;
        tms_tdi_ = -1;
        tms_dest_ = nullptr;
    }
    tms_bits_ = static_cast<uint8_t>(tms_bits_ | (tms << tms_count_));
    if (tdi >= 0)
        tms_tdi_ = tdi;
    if (dest) {
        tms_dest_ = dest;
        tms_read_at_ = tms_count_;
    }
    if (++tms_count_ == kTmsClocksMax)
        emit_tms();
}

void MpsseCable::emit_tms()
{
    if (tms_count_ == 0 || !fault_.empty())
        return;
    const uint8_t tdi = tms_tdi_ > 0 ? 0x80 : 0x00;
    if (tms_dest_) {
        if (!reserve_answers(1))
            return;
        // The bits read come in from the top of the byte: clock k of n lands in bit 8 - n + k.
        placements_.push_back({answers_due_ * 8 + 8u - tms_count_ + tms_read_at_, 1, tms_dest_});
        ++answers_due_;
    }
    out_.insert(out_.end(), {tms_dest_ ? kTmsInOut : kTmsOut, static_cast<uint8_t>(tms_count_ - 1),
                             static_cast<uint8_t>(tms_bits_ | tdi)});
    tms_count_ = 0;
}

// Shift-DR/IR with TMS low: bits [from, to), TDO read into `target` when it is given.
void MpsseCable::shift_range(const char* bits, uint32_t from, uint32_t to, ReadTarget* target)
{
    if (from >= to)
        return;
    emit_tms();
    uint32_t i = from;
    while (i < to && fault_.empty()) {
        const uint32_t left = to - i;
        if (target && !reserve_answers(1))
            return;
        if (left >= 8) {
            uint32_t bytes = std::min<uint32_t>(left / 8, 65536);
            if (target)
                bytes = std::min(bytes, chip_.buffer_bytes - kSentinelBytes - answers_due_);
            out_.insert(out_.end(), {target ? kBytesInOut : kBytesOut, static_cast<uint8_t>((bytes - 1) & 0xFF),
                                     static_cast<uint8_t>((bytes - 1) >> 8)});
            for (uint32_t b = 0; b < bytes; ++b, i += 8) {
                uint8_t byte = 0;
                for (uint32_t k = 0; k < 8; ++k)
                    byte = static_cast<uint8_t>(byte | (bit_of(bits[i + k]) << k));
                out_.push_back(byte);
            }
            if (target) {
                place(*target, i - bytes * 8, bytes * 8, answers_due_ * 8);
                answers_due_ += bytes;
            }
        } else {
            uint8_t byte = 0;
            for (uint32_t k = 0; k < left; ++k)
                byte = static_cast<uint8_t>(byte | (bit_of(bits[i + k]) << k));
            out_.insert(out_.end(), {target ? kBitsInOut : kBitsOut, static_cast<uint8_t>(left - 1), byte});
            if (target) {
                place(*target, i, left, answers_due_ * 8 + 8 - left);  // read in from the top
                ++answers_due_;
            }
            i += left;
        }
        if (out_.size() >= kSendBytes)
            send();
    }
}

void MpsseCable::place(ReadTarget& target, uint32_t first, uint32_t count, uint32_t answer_bit)
{
    if (target.capture) {
        placements_.push_back({answer_bit, count, target.capture + first});
        return;
    }
    for (; target.next < target.count && target.cells[target.next] < first + count; ++target.next) {
        uint32_t cell = target.cells[target.next];
        if (cell >= first)
            placements_.push_back({answer_bit + (cell - first), 1, target.sample + target.next});
    }
}

// The last bit goes with the TMS move to Exit1, in a TMS command the walk out joins.
void MpsseCable::exit_clock(const char* bits, uint32_t length, ReadTarget* target)
{
    const uint32_t last = length - 1;
    char* dest = nullptr;
    if (target && target->capture) {
        dest = target->capture + last;
    } else if (target) {
        while (target->next < target->count && target->cells[target->next] <= last) {
            if (target->cells[target->next] == last)
                dest = target->sample + target->next;
            ++target->next;
        }
    }
    tms_clock(1, bit_of(bits[last]), dest);
}

// Write-only up to the first sampled cell, read windows over the sampled ones, write-only again
// after the last: bits [0, end).
void MpsseCable::shift_sampled(const char* bits, uint32_t end_bit, ReadTarget& target)
{
    const uint16_t* cells = target.cells;
    const uint32_t count = target.count;
    uint32_t done = 0;
    uint32_t k = 0;
    while (k < count && cells[k] < end_bit) {
        const uint32_t start = std::max<uint32_t>(cells[k], done);
        uint32_t end = std::max<uint32_t>(cells[k] + 1u, done);
        while (++k < count && cells[k] < end_bit && cells[k] < end + kGapBits)
            end = std::max<uint32_t>(end, cells[k] + 1u);
        shift_range(bits, done, start, nullptr);
        shift_range(bits, start, end, &target);
        done = end;
    }
    shift_range(bits, done, end_bit, nullptr);
}

void MpsseCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    if (!fault_.empty() || length == 0)
        return;
    ReadTarget target{sink};
    ReadTarget* read = sink.wanted() ? &target : nullptr;
    const uint32_t end = exit ? length - 1 : length;  // the exit clock shifts the last bit
    if (read != nullptr && read->capture == nullptr)
        shift_sampled(bits, end, target);
    else
        shift_range(bits, 0, end, read);
    if (exit)
        exit_clock(bits, length, read);
}

// TMS rests low after every scan, so the clocks keep the TAP in Run-Test/Idle. The FT2232D has no
// clock-only commands: it shifts zeros instead, which in Run-Test/Idle changes nothing.
void MpsseCable::idle(uint32_t clocks)
{
    if (!fault_.empty() || clocks == 0)
        return;
    emit_tms();
    while (clocks >= 8 && fault_.empty()) {
        const uint32_t bytes = std::min<uint32_t>(clocks / 8, 65536);
        const uint8_t low = static_cast<uint8_t>((bytes - 1) & 0xFF);
        const uint8_t high = static_cast<uint8_t>((bytes - 1) >> 8);
        if (chip_.h_series) {
            out_.insert(out_.end(), {kClockBytes, low, high});
        } else {
            out_.insert(out_.end(), {kBytesOut, low, high});
            out_.insert(out_.end(), bytes, uint8_t{0});
        }
        clocks -= bytes * 8;
        if (out_.size() >= kSendBytes)
            send();
    }
    if (clocks > 0 && fault_.empty()) {
        const uint8_t count = static_cast<uint8_t>(clocks - 1);
        if (chip_.h_series)
            out_.insert(out_.end(), {kClockBits, count});
        else
            out_.insert(out_.end(), {kBitsOut, count, uint8_t{0}});
    }
}

void MpsseCable::flush()
{
    if (!fault_.empty())
        return;
    emit_tms();
    if (answers_due_ > 0)
        drain();
    else
        send();
}

bool MpsseCable::reserve_answers(uint32_t bytes)
{
    // The chip holds one buffer of answers: read what it has before asking for more.
    if (answers_due_ + bytes + kSentinelBytes > chip_.buffer_bytes)
        drain();
    return fault_.empty();
}

void MpsseCable::send()
{
    if (out_.empty() || !fault_.empty())
        return;
    if (!usb_.write(out_.data(), out_.size())) {
        set_fault(usb_.error());
        return;
    }
    out_.clear();
}

void MpsseCable::drain()
{
    // A bad command closes the batch: its 0xFA echo must be the last two answer bytes, or some
    // command was refused and the answers before it cannot be trusted.
    out_.insert(out_.end(), {kSentinel, kSendImmediate});
    const size_t length = answers_due_ + kSentinelBytes;
    send();
    if (!fault_.empty())
        return;
    in_.resize(length);
    if (!usb_.read(in_.data(), length)) {
        set_fault(usb_.error());
        return;
    }
    if (in_[length - 2] != kBadCommand || in_[length - 1] != kSentinel) {
        auto refused = std::find(in_.begin(), in_.end() - 1, kBadCommand);
        char text[80];
        if (refused != in_.end() - 1)
            std::snprintf(text, sizeof text, "MPSSE: the adapter refused command 0x%02X", refused[1]);
        else
            std::snprintf(text, sizeof text, "MPSSE: the adapter's answers are out of step with its commands");
        set_fault(text);
        return;
    }
    for (const Placement& p : placements_)
        for (uint32_t j = 0; j < p.count; ++j) {
            const uint32_t bit = p.answer_bit + j;
            p.dest[j] = ((in_[bit / 8] >> (bit % 8)) & 1) ? '1' : '0';
        }
    placements_.clear();
    answers_due_ = 0;
}
