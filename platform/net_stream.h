// SPDX-License-Identifier: Apache-2.0
// Byte streams over TCP or UNIX sockets: the network JTAG cables' link to their server, and the
// simulator's side of it. Every wait is bounded, so a dead peer never holds anyone forever.
// Linux has sockets; the Windows build has none and says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes a cable sends and the answers it reads back, in order.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // All `length` bytes, or false with error(). Answers that arrive meanwhile are appended to
    // `arrived`, so a peer that answers while it reads never waits on a full buffer.
    virtual bool write(const uint8_t* data, size_t length, std::vector<uint8_t>& arrived) = 0;
    // Exactly `length` bytes, or false with error() (the peer closed, an error, no answer in time).
    virtual bool read(uint8_t* data, size_t length) = 0;
    // The last failure, one line, without the peer's name.
    virtual const char* error() const = 0;
};

// False where this build has no sockets.
bool net_supported();

class NetStream final : public ByteStream {
public:
    NetStream() = default;
    ~NetStream() override { close(); }
    NetStream(const NetStream&) = delete;
    NetStream& operator=(const NetStream&) = delete;

    // TCP to `host` (a name or an address) and `port`, or with `port` 0 the UNIX socket at the
    // path `host`. nullptr, or the cause in one line. Waits at most `timeout_ms`.
    const char* connect(const std::string& host, uint16_t port, int timeout_ms);
    // How long read() waits for answers that are due.
    void set_read_timeout(int timeout_ms) { read_timeout_ms_ = timeout_ms; }

    bool write(const uint8_t* data, size_t length, std::vector<uint8_t>& arrived) override;
    // The same for a peer whose answers are not awaited (a server's).
    bool write(const uint8_t* data, size_t length);
    bool read(uint8_t* data, size_t length) override;
    const char* error() const override { return error_.c_str(); }

    // What has arrived, at most `length` bytes, once something has: waits at most `timeout_ms`
    // (-1: no limit) and ends early on an interrupt. The count, 0 when the peer closed, -1 on an
    // error, -2 when nothing came in time or an interrupt ended the wait.
    long read_some(uint8_t* data, size_t length, int timeout_ms);

    bool is_open() const { return fd_ >= 0; }
    void close();
    // Takes over a connected socket (the listener's).
    void adopt(int fd);

private:
    bool fail(const std::string& text);

    int fd_ = -1;
    int read_timeout_ms_ = 10'000;
    std::string error_;
};

// A server's socket on 127.0.0.1 only.
class NetListener {
public:
    NetListener() = default;
    ~NetListener();
    NetListener(const NetListener&) = delete;
    NetListener& operator=(const NetListener&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port the system picks). nullptr, or the cause.
    const char* listen_loopback(uint16_t port);
    // The port listened on.
    uint16_t port() const { return port_; }
    // Waits for the next client: true with it in `client`; false on an interrupt or an error
    // (error() is empty for an interrupt).
    bool accept(NetStream& client);
    const char* error() const { return error_.c_str(); }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::string error_;
};
