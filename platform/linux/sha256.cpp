// SPDX-License-Identifier: Apache-2.0
#include "platform/sha256.h"

#include <nettle/sha2.h>

#include <cstdio>

std::string sha256_hex(std::span<const uint8_t> bytes)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    char pair[3];
    for (uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}
