// SPDX-License-Identifier: Apache-2.0
// SHA-256 of a byte string, as 64 lowercase hex digits: the image's fingerprint in a job's report.
// Each operating system's own library computes it (nettle on Linux, CryptoAPI on Windows).
#pragma once

#include <cstdint>
#include <span>
#include <string>

std::string sha256_hex(std::span<const uint8_t> bytes);
