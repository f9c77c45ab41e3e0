// SPDX-License-Identifier: Apache-2.0
// This build has no sockets: the network cables and the simulator's servers are Linux's.
#include "platform/net_stream.h"

namespace {
constexpr const char* kNone = "this build has no network sockets";
}  // namespace

bool net_supported() { return false; }

void NetStream::close() { fd_ = -1; }

void NetStream::adopt(int fd) { fd_ = fd; }

bool NetStream::fail(const std::string& text)
{
    error_ = text;
    return false;
}

const char* NetStream::connect(const std::string&, uint16_t, int)
{
    fail(kNone);
    return error();
}

bool NetStream::write(const uint8_t*, size_t, std::vector<uint8_t>&) { return fail(kNone); }

bool NetStream::write(const uint8_t*, size_t) { return fail(kNone); }

bool NetStream::read(uint8_t*, size_t) { return fail(kNone); }

long NetStream::read_some(uint8_t*, size_t, int) { return -1; }

NetListener::~NetListener() = default;

const char* NetListener::listen_loopback(uint16_t)
{
    error_ = kNone;
    return error_.c_str();
}

bool NetListener::accept(NetStream&)
{
    error_ = kNone;
    return false;
}
