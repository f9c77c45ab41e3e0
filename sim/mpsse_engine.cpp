// SPDX-License-Identifier: Apache-2.0
#include "sim/mpsse_engine.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {
constexpr uint8_t kBadCommand = 0xFA;
constexpr uint8_t kGpiol1 = 0x20;  // ADBUS5, the pin 0x88/0x89 wait on

// Opcode bits of the shift and TMS commands.
constexpr uint8_t kOutOnFalling = 0x01;
constexpr uint8_t kBitMode = 0x02;
constexpr uint8_t kReadOnFalling = 0x04;
constexpr uint8_t kLsbFirst = 0x08;
constexpr uint8_t kWriteTdi = 0x10;
constexpr uint8_t kReadTdo = 0x20;

bool is_shift(uint8_t op) { return op >= 0x10 && op <= 0x3F; }
// 0x4A/0x4B/0x6A/0x6B/0x6E/0x6F and their siblings: bit mode, LSB first, no TDI data.
bool is_tms(uint8_t op) { return (op & 0xDA) == 0x4A; }
// Clock divide, three-phase, clock-only and adaptive commands came with the H series.
bool h_series_only(uint8_t op) { return (op >= 0x8A && op <= 0x8F) || op == 0x96 || op == 0x97; }

// 60 MHz clock ticks are 50/3 ns; times are kept in thirds of a nanosecond to stay exact.
constexpr uint64_t kTickThirds = 50;
}  // namespace

MpsseEngine::MpsseEngine(VirtualClock& clock, SimStats& stats, ScanChain& chain, const MpsseConfig& config)
    : clock_(clock), stats_(stats), chain_(chain), config_(config)
{}

const char* MpsseEngine::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

// The host's choice names this adapter: one of its IDs (the FTDI chips' own when the product is
// left open), and the serial number and description when it gives them.
bool MpsseEngine::chosen_by(const UsbDeviceChoice& choice) const
{
    const UsbId own = config_.id;
    auto is_own = [&](uint16_t vendor, uint16_t product) { return vendor == own.vendor && product == own.product; };
    bool named = choice.product == 0 ? is_own(choice.vendor, 0x6010) || is_own(choice.vendor, 0x6014)
                                     : is_own(choice.vendor, choice.product);
    for (const UsbId& id : choice.more_ids)
        named = named || is_own(id.vendor, id.product);
    return config_.present && named && (choice.serial.empty() || choice.serial == config_.serial) &&
           (choice.description.empty() || choice.description == device().description);
}

const char* MpsseEngine::list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found)
{
    bool listed = false;
    for (const UsbId& id : kFtdiMpsseIds)
        listed = listed || (id.vendor == config_.id.vendor && id.product == config_.id.product);
    for (const UsbId& id : ids)
        listed = listed || (id.vendor == config_.id.vendor && id.product == config_.id.product);
    if (config_.present && listed)
        found.push_back(device());
    return nullptr;
}

const char* MpsseEngine::open(const UsbDeviceChoice& choice, uint8_t direction)
{
    close();
    if (!chosen_by(choice))
        return fail("no USB JTAG adapter found (looked for " + usb_ids_text(choice) + ")");
    if (choice.interface != 'A' && choice.interface != 'B')
        return fail(std::string("the adapter has no interface '") + choice.interface + "' (A or B)");
    if (config_.ft2232d && choice.interface == 'B')
        return fail("interface B of the FT2232D has no MPSSE engine (use A)");
    if (config_.exclusive) {
        const std::string what =
            "USB adapter " + usb_id_text(config_.id) + (config_.serial.empty() ? "" : " serial " + config_.serial);
        if (const char* busy = lock_.take(usb_lock_key(config_.id.vendor, config_.id.product, config_.serial), what))
            return fail(busy);
    }
    interface_ = choice.interface;

    // Reset and purge, then MPSSE with the given directions; the clock starts as it powers up.
    error_.clear();
    input_.clear();
    input_pos_ = 0;
    answers_.clear();
    answer_pos_ = 0;
    answers_made_ = answers_taken_ = pushed_upto_ = answer_stalls_ = 0;
    written_since_read_ = false;
    step_ = Step::Opcode;
    low_value_ = 0;
    low_dir_ = direction;
    high_value_ = high_dir_ = 0;
    divisor_ = 0;
    divide_by_5_ = true;
    loopback_ = false;
    open_ = true;
    return nullptr;
}

void MpsseEngine::close()
{
    // A closed interface is reset: every pin an input again.
    open_ = false;
    low_dir_ = high_dir_ = 0;
    reset_lines();
    lock_.release();
}

// The header's TCK, TDI and TMS come from the wired interface, through buffers that its enable
// pins must open.
bool MpsseEngine::header_connected() const
{
    const AdapterWiring& w = config_.wiring;
    const uint16_t value = static_cast<uint16_t>(low_value_ | (high_value_ << 8));
    const uint16_t direction = static_cast<uint16_t>(low_dir_ | (high_dir_ << 8));
    return open_ && interface_ == w.interface && (direction & w.enable_mask) == w.enable_mask &&
           (value & w.enable_mask) == w.enable_value;
}

bool MpsseEngine::line_low(const AdapterLine& line) const
{
    if ((line.data | line.oe) == 0 || !open_ || interface_ != config_.wiring.interface)
        return false;
    const uint16_t value = static_cast<uint16_t>(low_value_ | (high_value_ << 8));
    const uint16_t direction = static_cast<uint16_t>(low_dir_ | (high_dir_ << 8));
    auto level = [&](uint16_t mask) { return (direction & mask) == 0 || (value & mask) != 0; };  // inputs float high
    bool drives = true;
    if (line.oe == line.data)
        drives = (direction & line.oe) != 0;
    else if (line.oe != 0)
        drives = level(line.oe) != line.oe_inverted;
    if (!drives)
        return false;
    return line.data == 0 || level(line.data) == line.data_inverted;
}

// nTRST low resets the TAP at once; nSRST low holds the CPU in reset (counted).
void MpsseEngine::reset_lines()
{
    const bool ntrst = line_low(config_.wiring.ntrst);
    const bool nsrst = line_low(config_.wiring.nsrst);
    if (ntrst) {
        stats_.ntrst_pulses += ntrst_low_ ? 0 : 1;
        chain_.trst();
    }
    if (nsrst && !nsrst_low_) {
        ++stats_.nsrst_pulses;
        nsrst_scans_at_ = stats_.dr_scans;
    } else if (!nsrst && nsrst_low_) {
        stats_.nsrst_dr_scans += stats_.dr_scans - nsrst_scans_at_;
    }
    ntrst_low_ = ntrst;
    nsrst_low_ = nsrst;
}

UsbChip MpsseEngine::chip() const
{
    UsbChip chip;
    chip.h_series = !config_.ft2232d;
    chip.buffer_bytes = config_.ft2232d ? 384 : 4096;
    return chip;
}

double MpsseEngine::tck_hz() const
{
    double base = divide_by_5_ ? 12e6 : 60e6;
    return base / ((1.0 + divisor_) * 2.0);
}

bool MpsseEngine::write(const uint8_t* data, size_t length)
{
    if (!open_) {
        fail("USB write: the device is not open");
        return false;
    }
    ++stats_.usb_transfers;
    stats_.usb_bytes_out += length;
    clock_.advance(length * (config_.ft2232d ? 1000 : 25));  // ~1 MB/s full speed, ~40 MB/s high speed
    input_.insert(input_.end(), data, data + length);
    written_since_read_ = true;
    run();
    // The chip holds one buffer of commands; past that the bulk transfer is never taken.
    if (input_.size() - input_pos_ > chip().buffer_bytes) {
        clock_.advance(kTimeoutNs);
        fail("USB write timed out: the adapter takes no more commands (its answers are not read)");
        return false;
    }
    return true;
}

bool MpsseEngine::read(uint8_t* data, size_t length)
{
    if (!open_) {
        fail("USB read: the device is not open");
        return false;
    }
    const size_t got = read_some(data, length);
    if (got < length) {
        fail(usb_read_timeout_text(got, length));
        return false;
    }
    return true;
}

size_t MpsseEngine::read_some(uint8_t* data, size_t length)
{
    ++stats_.usb_transfers;
    if (written_since_read_) {
        ++stats_.usb_round_trips;
        clock_.advance(config_.latency_us * 1000);
        written_since_read_ = false;
    }
    size_t got = 0;
    while (true) {
        size_t take = std::min(length - got, answers_waiting());
        std::memcpy(data + got, answers_.data() + answer_pos_, take);
        answer_pos_ += take;
        got += take;
        if (got == length)
            break;
        // Reading made room: a chip that stalled on a full answer buffer goes on.
        size_t before = answers_.size();
        run();
        if (answers_.size() == before)
            break;
    }
    if (answer_pos_ == answers_.size()) {
        answers_.clear();
        answer_pos_ = 0;
    }
    answers_taken_ += got;
    stats_.usb_bytes_in += got;
    clock_.advance(got * (config_.ft2232d ? 1000 : 25));
    if (answers_taken_ > pushed_upto_)
        clock_.advance(kLatencyTimerNs);
    if (got < length)
        clock_.advance(kTimeoutNs);
    return got;
}

// Room for `bytes` more answers; without it the engine stalls until the host reads.
bool MpsseEngine::room_for(size_t bytes)
{
    if (answers_waiting() + bytes <= chip().buffer_bytes)
        return true;
    ++answer_stalls_;
    return false;
}

void MpsseEngine::answer(uint8_t byte)
{
    answers_.push_back(byte);
    ++answers_made_;
}

void MpsseEngine::run()
{
    bool progress = true;
    while (progress) {
        switch (step_) {
        case Step::Opcode:
            progress = start_command();
            break;
        case Step::Params:
            progress = input_pos_ < input_.size();
            if (progress) {
                params_[params_got_++] = input_[input_pos_++];
                if (params_got_ == params_need_)
                    finish_params();
            }
            break;
        case Step::Data:
            progress = shift_unit();
            break;
        }
    }
    if (input_pos_ == input_.size()) {
        input_.clear();
        input_pos_ = 0;
    }
}

// Bytes after the opcode that complete the command's header; -1 for a command the chip refuses.
int MpsseEngine::param_count(uint8_t op) const
{
    if (config_.ft2232d && h_series_only(op))
        return -1;
    if (is_shift(op))
        return (op & kBitMode) ? 1 : 2;
    if (is_tms(op))
        return 1;
    switch (op) {
    case 0x80:
    case 0x82:
    case 0x86:
    case 0x8F:
        return 2;
    case 0x8E:
        return 1;
    case 0x81:
    case 0x83:
    case 0x84:
    case 0x85:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8A:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0x96:
    case 0x97:
        return 0;
    default:
        return -1;
    }
}

bool MpsseEngine::start_command()
{
    if (input_pos_ == input_.size())
        return false;
    uint8_t op = input_[input_pos_];
    int params = param_count(op);
    if (params < 0) {
        // Refused: the opcode alone is taken; whatever follows is read as commands.
        if (!room_for(2))
            return false;
        ++input_pos_;
        answer(kBadCommand);
        answer(op);
        return true;
    }
    if (params == 0)
        return simple_command(op);
    ++input_pos_;
    op_ = op;
    params_need_ = static_cast<uint8_t>(params);
    params_got_ = 0;
    step_ = Step::Params;
    return true;
}

bool MpsseEngine::simple_command(uint8_t op)
{
    switch (op) {
    case 0x81:
    case 0x83:
        if (!room_for(1))
            return false;
        answer(op == 0x81 ? low_pins() : static_cast<uint8_t>(high_value_ | ~high_dir_));
        break;
    case 0x84:
    case 0x85:
        loopback_ = op == 0x84;
        break;
    case 0x87:
        pushed_upto_ = answers_made_;
        break;
    case 0x88:
    case 0x89:
        // Nothing on this board drives GPIOL1: an input stays pulled up, so a wait for low lasts
        // until the pin is made an output driven low.
        if (((low_pins() & kGpiol1) != 0) != (op == 0x88))
            return false;
        break;
    case 0x8A:
    case 0x8B:
        divide_by_5_ = op == 0x8B;
        break;
    default:  // three-phase and adaptive clocking: JTAG on this board keeps them off
        break;
    }
    ++input_pos_;
    return true;
}

void MpsseEngine::finish_params()
{
    step_ = Step::Opcode;
    const uint16_t value = static_cast<uint16_t>(params_[0] | (params_[1] << 8));
    if (is_shift(op_) || is_tms(op_)) {
        step_ = Step::Data;
        if (!(op_ & kBitMode)) {
            units_left_ = value + 1u;
            bits_ = 8;
        } else {
            units_left_ = 1;
            // The length field has 3 bits; a TMS command carries 7 TMS bits at most.
            bits_ = static_cast<uint8_t>((params_[0] & 7) + 1);
            if (is_tms(op_))
                bits_ = std::min<uint8_t>(bits_, 7);
        }
        return;
    }
    switch (op_) {
    case 0x80:
        set_low_byte(params_[0], params_[1]);
        break;
    case 0x82:
        high_value_ = params_[0];
        high_dir_ = params_[1];
        reset_lines();
        break;
    case 0x86:
        divisor_ = value;
        break;
    case 0x8E:
        for (int i = 0; i <= params_[0]; ++i)
            clock(0, 0);
        break;
    case 0x8F:
        for (uint32_t i = 0; i < (value + 1u) * 8u; ++i)
            clock(0, 0);
        break;
    default:
        break;
    }
}

bool MpsseEngine::shift_unit()
{
    const bool tms = is_tms(op_);
    const bool takes_byte = tms || (op_ & kWriteTdi);
    const bool reads = op_ & kReadTdo;
    if (takes_byte && input_pos_ == input_.size())
        return false;
    if (reads && !room_for(1))
        return false;
    uint8_t out = takes_byte ? input_[input_pos_++] : 0;
    uint8_t in = tms ? shift_tms(out, bits_) : shift_data(out, bits_);
    if (reads)
        answer(in);
    if (--units_left_ == 0)
        step_ = Step::Opcode;
    return true;
}

uint8_t MpsseEngine::shift_data(uint8_t out, int count)
{
    const bool lsb = op_ & kLsbFirst;
    const uint8_t line = (op_ & kWriteTdi) ? kTdi : 0;  // a read-only shift leaves TDI as it was
    uint8_t in = 0;
    for (int k = 0; k < count; ++k) {
        int bit = lsb ? (out >> k) & 1 : (out >> (7 - k)) & 1;
        uint8_t tdo = clock(line, bit);
        // LSB first fills from the top, MSB first from the bottom: a short read ends up in
        // bits 8-n..7 or n-1..0.
        in = lsb ? static_cast<uint8_t>((in >> 1) | (tdo << 7)) : static_cast<uint8_t>((in << 1) | tdo);
    }
    return in;
}

uint8_t MpsseEngine::shift_tms(uint8_t out, int count)
{
    set_line(kTdi, out >> 7);  // held for all the command's clocks
    uint8_t in = 0;
    for (int k = 0; k < count; ++k)
        in = static_cast<uint8_t>((in >> 1) | (clock(kTms, (out >> k) & 1) << 7));
    return in;
}

// One TCK period from its idle level and back. `line` (TDI or TMS, or 0) takes `bit` on the
// opcode's output edge; TDO is sampled on its input edge. A line that changes on the edge the
// target samples on reaches it one clock late, as on the real wires.
uint8_t MpsseEngine::clock(uint8_t line, int bit)
{
    const bool idle_low = !(low_value_ & kTck);
    const bool out_on_falling = op_ & kOutOnFalling;
    const bool read_on_falling = op_ & kReadOnFalling;
    const bool out_on_first_edge = out_on_falling != idle_low;
    if (line && !out_on_first_edge)
        set_line(line, bit);  // the previous clock's second edge set it up
    uint8_t sampled = 0;
    for (int edge = 0; edge < 2; ++edge) {
        const bool rising = (edge == 0) == idle_low;
        if (rising != read_on_falling)
            sampled = tdo_level();
        tck_edge(rising);
        if (line && out_on_first_edge && edge == 0)
            set_line(line, bit);
    }
    uint64_t ticks = 2ull * (divisor_ + 1u) * (divide_by_5_ ? 5u : 1u);
    tick_thirds_ += ticks * kTickThirds;
    clock_.advance(tick_thirds_ / 3);
    tick_thirds_ %= 3;
    return sampled;
}

void MpsseEngine::tck_edge(bool rising)
{
    if (!(low_dir_ & kTck) || !header_connected())
        return;  // an undriven TCK gives the target no edges
    if (ntrst_low_) {
        chain_.trst();  // held in Test-Logic-Reset whatever TMS says
        return;
    }
    if (rising)
        chain_.tck_rising(static_cast<uint8_t>(level_at_target(kTms)), static_cast<uint8_t>(level_at_target(kTdi)));
    else
        chain_.tck_falling();
}

void MpsseEngine::set_line(uint8_t line, int bit)
{
    low_value_ = static_cast<uint8_t>(bit ? (low_value_ | line) : (low_value_ & ~line));
}

// TMS and TDI that the adapter does not drive float; IEEE 1149.1 puts pull-ups on both, so the
// target reads 1 (and a floating TMS walks the TAP to Test-Logic-Reset).
int MpsseEngine::level_at_target(uint8_t line) const { return (low_dir_ & line) ? ((low_value_ & line) != 0) : 1; }

uint8_t MpsseEngine::tdo_level() const
{
    if (loopback_)
        return (low_value_ & kTdi) ? 1 : 0;
    if (low_dir_ & kTdo)
        return (low_value_ & kTdo) ? 1 : 0;  // driving TDO: the chip reads its own output
    return chain_.tdo();
}

uint8_t MpsseEngine::low_pins() const
{
    uint8_t inputs = static_cast<uint8_t>(~kTdo | (chain_.tdo() ? kTdo : 0));  // all pulled up but TDO
    return static_cast<uint8_t>((low_value_ & low_dir_) | (inputs & ~low_dir_));
}

void MpsseEngine::set_low_byte(uint8_t value, uint8_t direction)
{
    // TCK moved by a pin write is an edge like any other.
    const bool driven_before = low_dir_ & kTck;
    const bool high_before = low_value_ & kTck;
    low_value_ = value;
    low_dir_ = direction;
    const bool high_now = low_value_ & kTck;
    if (driven_before && (low_dir_ & kTck) && high_before != high_now)
        tck_edge(high_now);
    reset_lines();
}

}  // namespace sim
