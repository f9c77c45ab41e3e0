// SHA-256 (FIPS 180-4) of a byte string, as 64 lowercase hex digits: the image's fingerprint in
// a job's report. Written here because the Windows build has no crypto library to link.
#pragma once

#include <cstdint>
#include <span>
#include <string>

std::string sha256_hex(std::span<const uint8_t> bytes);
