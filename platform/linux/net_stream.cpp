// SPDX-License-Identifier: Apache-2.0
#include "platform/net_stream.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/input_wait.h"

namespace {

int64_t now_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Waits for `events` on `fd` until `deadline_ms`; caught signals do not end the wait.
bool wait_for(int fd, short events, int64_t deadline_ms)
{
    for (;;) {
        const int64_t left = deadline_ms - now_ms();
        if (left < 0)
            return false;
        pollfd request = {fd, events, 0};
        const int count = poll(&request, 1, static_cast<int>(left));
        if (count > 0)
            return true;
        if (count < 0 && errno != EINTR)
            return true;  // the call that follows meets the error
    }
}

void make_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

std::string seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

// One attempt at one address: 0, or the errno; ETIMEDOUT when `deadline_ms` passed first.
int connect_once(int fd, const sockaddr* address, socklen_t length, int64_t deadline_ms)
{
    make_nonblocking(fd);
    if (::connect(fd, address, length) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EAGAIN)
        return errno;
    if (!wait_for(fd, POLLOUT, deadline_ms))
        return ETIMEDOUT;
    int code = 0;
    socklen_t size = sizeof code;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size);
    return code;
}

}  // namespace

bool net_supported() { return true; }

void NetStream::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void NetStream::adopt(int fd)
{
    close();
    fd_ = fd;
    make_nonblocking(fd_);
    error_.clear();
}

bool NetStream::fail(const std::string& text)
{
    error_ = text;
    return false;
}

const char* NetStream::connect(const std::string& host, uint16_t port, int timeout_ms)
{
    close();
    error_.clear();
    const int64_t deadline = now_ms() + timeout_ms;
    int code = 0;
    if (port == 0) {
        sockaddr_un local = {};
        if (host.size() >= sizeof local.sun_path) {
            fail("the socket path is too long");
            return error();
        }
        local.sun_family = AF_UNIX;
        std::memcpy(local.sun_path, host.c_str(), host.size() + 1);
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        code = fd_ < 0 ? errno : connect_once(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local, deadline);
    } else {
        addrinfo hints = {};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (const int failure = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); failure != 0) {
            fail(std::string("no such host (") + gai_strerror(failure) + ")");
            return error();
        }
        // Every address the name has, in the resolver's order (a name may be IPv6 first and
        // served on IPv4 only).
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            close();
            fd_ = socket(a->ai_family, SOCK_STREAM, 0);
            code = fd_ < 0 ? errno : connect_once(fd_, a->ai_addr, a->ai_addrlen, deadline);
            if (code == 0 || code == ETIMEDOUT)
                break;
        }
        freeaddrinfo(found);
    }
    if (code != 0) {
        close();
        fail(code == ETIMEDOUT ? "no connection within " + seconds(timeout_ms) : std::strerror(code));
        return error();
    }
    // Small requests go out at once: the server answers nothing until it has them.
    if (port != 0) {
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return nullptr;
}

bool NetStream::write(const uint8_t* data, size_t length)
{
    std::vector<uint8_t> ignored;
    return write(data, length, ignored);
}

bool NetStream::write(const uint8_t* data, size_t length, std::vector<uint8_t>& arrived)
{
    int64_t deadline = now_ms() + read_timeout_ms_;
    while (length > 0) {
        if (fd_ < 0)
            return fail("not connected");
        const ssize_t sent = send(fd_, data, length, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            length -= static_cast<size_t>(sent);
            deadline = now_ms() + read_timeout_ms_;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return fail(errno == EPIPE || errno == ECONNRESET ? "closed the connection" : std::strerror(errno));
        if (!wait_for(fd_, POLLOUT | POLLIN, deadline))
            return fail("took nothing for " + seconds(read_timeout_ms_));
        uint8_t chunk[16 * 1024];
        const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
        if (got == 0)
            return fail("closed the connection");
        if (got > 0) {
            arrived.insert(arrived.end(), chunk, chunk + got);
            deadline = now_ms() + read_timeout_ms_;
        }
    }
    return true;
}

bool NetStream::read(uint8_t* data, size_t length)
{
    const int64_t deadline = now_ms() + read_timeout_ms_;
    while (length > 0) {
        if (fd_ < 0)
            return fail("not connected");
        const ssize_t got = recv(fd_, data, length, 0);
        if (got > 0) {
            data += got;
            length -= static_cast<size_t>(got);
            continue;
        }
        if (got == 0)
            return fail("closed the connection");
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return fail(errno == ECONNRESET ? "closed the connection" : std::strerror(errno));
        if (!wait_for(fd_, POLLIN, deadline))
            return fail("gave no answer for " + seconds(read_timeout_ms_));
    }
    return true;
}

long NetStream::read_some(uint8_t* data, size_t length, int timeout_ms)
{
    const int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    for (;;) {
        const ssize_t got = recv(fd_, data, length, 0);
        if (got >= 0)
            return static_cast<long>(got);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            fail(errno == ECONNRESET ? "closed the connection" : std::strerror(errno));
            return errno == ECONNRESET ? 0 : -1;
        }
        const int64_t left = deadline < 0 ? -1 : deadline - now_ms();
        if ((deadline >= 0 && left <= 0) || !input_wait(fd_, static_cast<int>(left)))
            return -2;
    }
}

NetListener::~NetListener()
{
    if (fd_ >= 0)
        ::close(fd_);
}

const char* NetListener::listen_loopback(uint16_t port)
{
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    socklen_t size = sizeof address;
    if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error_ = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return error_.c_str();
    }
    make_nonblocking(fd_);
    port_ = ntohs(address.sin_port);
    return nullptr;
}

bool NetListener::accept(NetStream& client)
{
    error_.clear();
    for (;;) {
        if (!input_wait(fd_, -1))
            return false;
        const int fd = ::accept(fd_, nullptr, nullptr);
        if (fd >= 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            client.adopt(fd);
            return true;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            error_ = std::string("accept: ") + std::strerror(errno);
            return false;
        }
    }
}
