// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/key_decoder.h"

namespace {
constexpr unsigned char kEsc = 0x1B;

bool csi_body(unsigned char b) { return b >= 0x20 && b <= 0x3F; }  // parameters, intermediates
bool csi_final(unsigned char b) { return b >= 0x40 && b <= 0x7E; }
}  // namespace

size_t KeyDecoder::flush(int* keys)
{
    if (sequence_ != Sequence::escape)
        return 0;
    sequence_ = Sequence::none;
    keys[0] = kEscape;
    return 1;
}

size_t KeyDecoder::decode(const unsigned char* bytes, size_t length, int* keys)
{
    size_t count = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char b = bytes[i];
        if (sequence_ == Sequence::escape) {
            if (b == '[' || b == 'O') {
                sequence_ = b == '[' ? Sequence::csi : Sequence::ss3;
                continue;
            }
            count += flush(keys + count);
        }
        // Inside a sequence: printable bytes belong to it; a control byte breaks it
        // off and counts as typed.
        if (sequence_ == Sequence::csi && b >= 0x20) {
            if (csi_final(b) || !csi_body(b))
                sequence_ = Sequence::none;
            continue;
        }
        if (sequence_ == Sequence::ss3 && b >= 0x20) {
            sequence_ = Sequence::none;
            continue;
        }
        sequence_ = Sequence::none;

        bool was_cr = after_cr_;
        after_cr_ = false;
        if (b == '\r') {
            keys[count++] = kEnter;
            after_cr_ = true;
        } else if (b == '\n') {
            if (!was_cr)
                keys[count++] = kEnter;
        } else if (b == kEsc) {
            sequence_ = Sequence::escape;  // '[' or 'O' next makes it a sequence
        } else {
            keys[count++] = b;
        }
    }
    return count;
}
