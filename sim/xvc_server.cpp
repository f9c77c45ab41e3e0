// SPDX-License-Identifier: Apache-2.0
#include "sim/xvc_server.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace sim {

namespace {

constexpr std::string_view kGetInfo = "getinfo:";
constexpr std::string_view kSetTck = "settck:";
constexpr std::string_view kShift = "shift:";

uint32_t le32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void put_le32(std::string& out, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>(value >> (8 * k)));
}

// The start of what the client sent, printable: for the line that says why it was refused.
std::string shown(const uint8_t* data, size_t length)
{
    std::string text;
    for (size_t k = 0; k < std::min<size_t>(length, 12); ++k) {
        const char c = static_cast<char>(data[k]);
        if (c >= 0x20 && c < 0x7F) {
            text += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", data[k]);
            text += hex;
        }
    }
    return text;
}

bool starts(std::string_view name, const uint8_t* data, size_t length)
{
    const size_t n = std::min(length, name.size());
    return std::memcmp(data, name.data(), n) == 0;
}

}  // namespace

void XvcServer::reset()
{
    pending_.clear();
    pos_ = 0;
    why_.clear();
}

size_t XvcServer::whole_command(Feed& verdict)
{
    const uint8_t* data = pending_.data() + pos_;
    const size_t length = pending_.size() - pos_;
    for (std::string_view name : {kGetInfo, kSetTck, kShift}) {
        if (!starts(name, data, length))
            continue;
        if (name == kGetInfo)
            return length >= name.size() ? name.size() : 0;
        if (length < name.size() + 4)
            return 0;
        if (name == kSetTck)
            return name.size() + 4;
        const uint32_t bits = le32(data + name.size());
        const uint64_t bytes = (uint64_t{bits} + 7) / 8;
        if (bytes > kMaxVectorBytes) {
            why_ = "shift: of " + std::to_string(bits) + " bits is past the largest vector, " +
                   std::to_string(kMaxVectorBytes) + " bytes";
            verdict = Feed::malformed;
            return 0;
        }
        const size_t whole = name.size() + 4 + 2 * static_cast<size_t>(bytes);
        return length >= whole ? whole : 0;
    }
    why_ = "unknown command '" + shown(data, length) + "'";
    verdict = Feed::malformed;
    return 0;
}

void XvcServer::run_command(const uint8_t* command, std::string& answers)
{
    if (command[0] == 'g') {
        answers += "xvcServer_v1.0:" + std::to_string(kMaxVectorBytes) + "\n";
        return;
    }
    if (command[1] == 'e') {
        period_ns_ = std::max(le32(command + kSetTck.size()), kMinPeriodNs);
        put_le32(answers, period_ns_);
        return;
    }
    const uint32_t bits = le32(command + kShift.size());
    const size_t bytes = (bits + 7) / 8;
    const uint8_t* tms = command + kShift.size() + 4;
    const uint8_t* tdi = tms + bytes;
    const size_t first = answers.size();
    answers.append(bytes, '\0');
    for (uint32_t k = 0; k < bits; ++k) {
        const uint8_t mask = static_cast<uint8_t>(1u << (k % 8));
        if (chain_.tdo())
            answers[first + k / 8] = static_cast<char>(answers[first + k / 8] | mask);
        chain_.tck_rising((tms[k / 8] & mask) != 0, (tdi[k / 8] & mask) != 0);
        chain_.tck_falling();
        clock_.advance(period_ns_);
    }
}

Feed XvcServer::feed(const uint8_t* data, size_t length, std::string& answers)
{
    pending_.insert(pending_.end(), data, data + length);
    Feed verdict = Feed::more;
    while (pos_ < pending_.size()) {
        const size_t whole = whole_command(verdict);
        if (whole == 0)
            break;
        run_command(pending_.data() + pos_, answers);
        pos_ += whole;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
    return verdict;
}

}  // namespace sim
