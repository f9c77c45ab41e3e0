// SPDX-License-Identifier: Apache-2.0
#include "jtag/xvc_cable.h"

#include <algorithm>

#include "jtag/number_text.h"

namespace {

constexpr char kInfoPrefix[] = "xvcServer_v1.0:";
constexpr size_t kInfoLineMax = 64;
// Vectors past this are split anyway: a larger command only delays the first answer.
constexpr uint32_t kVectorCap = 32 * 1024;
// Commands are sent once this much is queued; answers are read once this many are due (those
// that arrive while commands are still going out are kept as they come).
constexpr size_t kSendBytes = 64 * 1024;
constexpr uint64_t kAnswerBytesMax = 256 * 1024;

void put_le32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

}  // namespace

uint32_t xvc_parse_info(const std::string& line)
{
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (text.substr(0, sizeof kInfoPrefix - 1) != kInfoPrefix)
        return 0;
    uint32_t bytes = 0;
    if (!parse_digits(text.substr(sizeof kInfoPrefix - 1), bytes))
        return 0;
    return bytes;
}

XvcCable::XvcCable(ByteStream& link, std::string server) : NetCable(link, "XVC", std::move(server)) {}

const char* XvcCable::open(uint32_t tck_hz)
{
    static const uint8_t kGetInfo[] = {'g', 'e', 't', 'i', 'n', 'f', 'o', ':'};
    if (!send(kGetInfo, sizeof kGetInfo))
        return fault();
    std::string line;
    while (line.size() < kInfoLineMax && (line.empty() || line.back() != '\n')) {
        if (!receive(line.size() + 1))
            return fault();
        line.push_back(static_cast<char>(arrived_[line.size()]));
    }
    arrived_.clear();
    max_vector_ = xvc_parse_info(line);
    if (max_vector_ < 2) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        fail("answers '" + line + "' to getinfo:, not xvcServer_v1.0:N");
        return fault();
    }
    max_bits_ = std::min(max_vector_ / 2, kVectorCap) * 8;
    std::vector<uint8_t> settck = {'s', 'e', 't', 't', 'c', 'k', ':'};
    const uint32_t asked = static_cast<uint32_t>((1'000'000'000ull + tck_hz / 2) / std::max<uint32_t>(tck_hz, 1));
    put_le32(settck, std::max<uint32_t>(asked, 1));
    if (!send(settck.data(), settck.size()) || !receive(4))
        return fault();
    ++round_trips_;
    const uint8_t* granted = arrived_.data();
    period_ns_ = static_cast<uint32_t>(granted[0] | (granted[1] << 8) | (granted[2] << 16) | (granted[3] << 24));
    arrived_.clear();
    if (period_ns_ == 0) {
        fail("set no TCK period (settck: answered 0)");
        return fault();
    }
    const size_t vector = max_bits_ / 8;
    tms_.assign(vector, 0);
    tdi_bits_.assign(vector, 0);
    out_.reserve(kSendBytes + 2 * vector + 16);
    arrived_.reserve(kAnswerBytesMax + vector);
    placements_.reserve(4096);
    return nullptr;
}

void XvcCable::clock(int tms, int tdi, char* dest)
{
    const uint32_t byte = bits_ / 8;
    const uint8_t mask = static_cast<uint8_t>(1u << (bits_ % 8));
    if (mask == 1) {
        tms_[byte] = 0;
        tdi_bits_[byte] = 0;
    }
    if (tms)
        tms_[byte] |= mask;
    if (tdi)
        tdi_bits_[byte] |= mask;
    if (dest != nullptr) {
        const uint64_t answer_bit = answers_due_ * 8 + bits_;
        Placement* last = placements_.empty() ? nullptr : &placements_.back();
        if (last != nullptr && last->dest + last->count == dest && last->answer_bit + last->count == answer_bit)
            ++last->count;
        else
            placements_.push_back({answer_bit, 1, dest});
    }
    if (++bits_ == max_bits_)
        end_command();
}

void XvcCable::end_command()
{
    if (bits_ == 0)
        return;
    const size_t bytes = (bits_ + 7) / 8;
    static const uint8_t kShift[] = {'s', 'h', 'i', 'f', 't', ':'};
    out_.insert(out_.end(), std::begin(kShift), std::end(kShift));
    put_le32(out_, bits_);
    out_.insert(out_.end(), tms_.begin(), tms_.begin() + static_cast<std::ptrdiff_t>(bytes));
    out_.insert(out_.end(), tdi_bits_.begin(), tdi_bits_.begin() + static_cast<std::ptrdiff_t>(bytes));
    answers_due_ += bytes;
    bits_ = 0;
    if (answers_due_ >= kAnswerBytesMax)
        flush();
    else if (out_.size() >= kSendBytes)
        send_queued();
}

void XvcCable::send_queued()
{
    if (!out_.empty() && send(out_.data(), out_.size()))
        out_.clear();
}

void XvcCable::flush()
{
    if (fault() != nullptr)
        return;
    end_command();
    send_queued();
    if (answers_due_ == 0 || fault() != nullptr)
        return;
    ++round_trips_;
    if (!receive(answers_due_))
        return;
    for (const Placement& p : placements_)
        for (uint32_t j = 0; j < p.count; ++j) {
            const uint64_t bit = p.answer_bit + j;
            p.dest[j] = ((arrived_[bit / 8] >> (bit % 8)) & 1) ? '1' : '0';
        }
    placements_.clear();
    arrived_.clear();
    answers_due_ = 0;
}
