// SPDX-License-Identifier: Apache-2.0
// Preloaded (LD_PRELOAD) into the real tarnflash by the tests: /dev/parport0 becomes the parallel
// port of a virtual board, and every real port stays out of reach: ioperm and iopl fail, and no
// other /dev/parportN exists. Set up by environment variables, read here only:
//   TARNFLASH_SHIM_MARKER  file that receives one line as soon as the library is loaded
//   TARNFLASH_SHIM_BOARD   the board, as tarnflash-sim's options separated by spaces
//                          ("--cpu MIRTA --flash AM29LV040B --bus 8x2 --flash-in a.bin --flash-out b.bin")
//   TARNFLASH_SHIM_STATS   file that receives the board's --stats text and the count of each call
//   TARNFLASH_SHIM_FAIL    "CALL:N[,CALL:N]": the Nth call of CALL (open, close, PPCLAIM, PPWDATA, ...)
//                          and every later one fail with EIO
//   TARNFLASH_SHIM_BUSY    "1": PPCLAIM waits, as for a port held by another program, until a
//                          caught signal ends the wait with EINTR
//   TARNFLASH_SHIM_SETUID  "UID:GID": the program goes on as a setuid-root install run by that user
//                          would start (real ids UID and GID, effective and saved user root); a
//                          preload cannot reach a program that really starts so
// While the port is claimed, the program's monotonic clock is the board's virtual clock (a read
// takes 1 us, as in tarnflash-sim), so its waits and its judgement of how long the chip took
// match the board's time, as they would on hardware of the port's speed.
// The flash contents and the statistics are written when the port is closed, or at exit.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "sim/board.h"
#include "sim/sim_options.h"

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* kPortPath = "/dev/parport0";
constexpr uint16_t kBase = 0x378;

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

struct Shim {
    sim::SimOptions options;
    std::unique_ptr<sim::VirtualBoard> board;
    int fd = -1;
    bool claimed = false;
    bool busy = false;
    uint8_t control = 0;
    std::map<std::string, uint64_t> calls;
    std::map<std::string, uint64_t> fail_from;
    std::string stats_path;
    bool outputs_written = false;

    // Counts the call; false (errno EIO) when it is one that must fail.
    bool pass(const std::string& call)
    {
        uint64_t count = ++calls[call];
        auto fail = fail_from.find(call);
        if (fail != fail_from.end() && count >= fail->second) {
            errno = EIO;
            return false;
        }
        return true;
    }

    void write_outputs()
    {
        if (outputs_written || !board)
            return;
        outputs_written = true;
        std::string words;
        if (Outcome written = sim::write_flash_out(options, *board, words); !written.ok())
            std::fprintf(stderr, "ppdev_shim: %s\n", written.detail);
        if (stats_path.empty())
            return;
        std::string text = sim::stats_text(*board);
        for (const auto& [call, count] : calls)
            text += "call " + call + ": " + std::to_string(count) + "\n";
        if (FILE* file = std::fopen(stats_path.c_str(), "w")) {
            std::fputs(text.c_str(), file);
            std::fclose(file);
        }
    }

    ~Shim() { write_outputs(); }
};

Shim* g_shim = nullptr;

[[noreturn]] void refuse(const std::string& why)
{
    std::fprintf(stderr, "ppdev_shim: %s\n", why.c_str());
    _exit(125);
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

__attribute__((constructor)) void load()
{
    static Shim shim;
    std::vector<std::string> args;
    std::istringstream words(env("TARNFLASH_SHIM_BOARD"));
    for (std::string word; words >> word;)
        args.push_back(word);
    std::string refusal;
    sim::BoardConfig config;
    if (Outcome made = sim::parse_sim_options(args, shim.options, refusal); !made.ok())
        refuse(made.detail);
    if (Outcome made = sim::board_config(shim.options, config, refusal); !made.ok())
        refuse(made.detail);
    if (Outcome made = sim::VirtualBoard::create(config, shim.board, refusal); !made.ok())
        refuse(made.detail);
    std::istringstream fails(env("TARNFLASH_SHIM_FAIL"));
    for (std::string item; std::getline(fails, item, ',');) {
        size_t colon = item.find(':');
        if (colon == std::string::npos)
            refuse("bad TARNFLASH_SHIM_FAIL item '" + item + "'");
        shim.fail_from[item.substr(0, colon)] = std::strtoull(item.c_str() + colon + 1, nullptr, 10);
    }
    shim.busy = env("TARNFLASH_SHIM_BUSY") == "1";
    shim.stats_path = env("TARNFLASH_SHIM_STATS");
    g_shim = &shim;
    std::string marker = env("TARNFLASH_SHIM_MARKER");
    if (FILE* file = marker.empty() ? nullptr : std::fopen(marker.c_str(), "w")) {
        std::fprintf(file, "ppdev_shim loaded into pid %d\n", static_cast<int>(getpid()));
        std::fclose(file);
    }
    if (std::string user = env("TARNFLASH_SHIM_SETUID"); !user.empty()) {
        unsigned uid = 0, gid = 0;
        if (std::sscanf(user.c_str(), "%u:%u", &uid, &gid) != 2 || setresgid(gid, gid, gid) != 0 ||
            setresuid(uid, 0, 0) != 0)
            refuse("bad TARNFLASH_SHIM_SETUID '" + user + "'");
    }
}

bool is_port(const char* path) { return path != nullptr && std::strcmp(path, kPortPath) == 0; }

// Every other parallel port device is hidden, so a real one is never opened.
bool is_other_port(const char* path)
{
    return path != nullptr && !is_port(path) && std::strncmp(path, "/dev/parport", 12) == 0;
}

int open_port(int flags)
{
    if (!g_shim->pass("open"))
        return -1;
    // A real descriptor keeps the number taken, so nothing else is given the same one.
    g_shim->fd = real<int (*)(const char*, int, ...)>("open")("/dev/null", flags & O_ACCMODE);
    return g_shim->fd;
}

// `dirfd` is nullptr for the calls without a directory argument.
int open_any(const char* symbol, const int* dirfd, const char* path, int flags, mode_t mode)
{
    if (is_port(path))
        return open_port(flags);
    if (is_other_port(path)) {
        errno = ENOENT;
        return -1;
    }
    if (dirfd == nullptr)
        return real<int (*)(const char*, int, ...)>(symbol)(path, flags, mode);
    return real<int (*)(int, const char*, int, ...)>(symbol)(*dirfd, path, flags, mode);
}

mode_t mode_argument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

int port_ioctl(unsigned long request, void* arg)
{
    static const std::map<unsigned long, std::string> kNames = {
        {PPCLAIM, "PPCLAIM"}, {PPRELEASE, "PPRELEASE"}, {PPDATADIR, "PPDATADIR"},   {PPWDATA, "PPWDATA"},
        {PPRDATA, "PPRDATA"}, {PPRSTATUS, "PPRSTATUS"}, {PPRCONTROL, "PPRCONTROL"}, {PPWCONTROL, "PPWCONTROL"},
    };
    auto name = kNames.find(request);
    if (name == kNames.end()) {
        errno = ENOTTY;
        return -1;
    }
    Shim& shim = *g_shim;
    if (!shim.pass(name->second))
        return -1;
    // As ppdev: the port must be claimed for anything but the claim itself.
    if ((request == PPCLAIM) == shim.claimed) {
        errno = EINVAL;
        return -1;
    }
    sim::VirtualPort& port = shim.board->port();
    auto* byte = static_cast<unsigned char*>(arg);
    switch (request) {
    case PPCLAIM:
        if (shim.busy) {
            pause();
            errno = EINTR;
            return -1;
        }
        shim.claimed = true;
        break;
    case PPRELEASE:
        shim.claimed = false;
        break;
    case PPWDATA:
        port.write(kBase, *byte);
        break;
    case PPRDATA:
        *byte = port.read(kBase);
        break;
    case PPRSTATUS:
        *byte = port.read(kBase + 1);
        break;
    case PPRCONTROL:
        *byte = shim.control;
        break;
    case PPWCONTROL:
        shim.control = *byte;
        break;
    default:
        break;  // PPDATADIR: the virtual port always drives its data lines
    }
    return 0;
}

FILE* proc_text(const char* text) { return fmemopen(const_cast<char*>(text), std::strlen(text), "r"); }

}  // namespace

SHIM_EXPORT int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_any("open", nullptr, path, flags, mode);
}

SHIM_EXPORT int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_any("open64", nullptr, path, flags, mode);
}

SHIM_EXPORT int openat(int dirfd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_any("openat", &dirfd, path, flags, mode);
}

SHIM_EXPORT int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_any("openat64", &dirfd, path, flags, mode);
}

SHIM_EXPORT int __open_2(const char* path, int flags) { return open_any("__open_2", nullptr, path, flags, 0); }

SHIM_EXPORT int __open64_2(const char* path, int flags) { return open_any("__open64_2", nullptr, path, flags, 0); }

SHIM_EXPORT int close(int fd)
{
    if (g_shim != nullptr && fd >= 0 && fd == g_shim->fd) {
        g_shim->fd = -1;
        g_shim->claimed = false;
        real<int (*)(int)>("close")(fd);
        g_shim->write_outputs();
        return g_shim->pass("close") ? 0 : -1;
    }
    return real<int (*)(int)>("close")(fd);
}

SHIM_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (g_shim != nullptr && fd >= 0 && fd == g_shim->fd)
        return port_ioctl(request, arg);
    return real<int (*)(int, unsigned long, ...)>("ioctl")(fd, request, arg);
}

SHIM_EXPORT int access(const char* path, int mode) noexcept
{
    if (is_port(path))
        return 0;
    if (is_other_port(path)) {
        errno = ENOENT;
        return -1;
    }
    return real<int (*)(const char*, int)>("access")(path, mode);
}

SHIM_EXPORT FILE* fopen(const char* path, const char* mode)
{
    if (path != nullptr && std::strcmp(path, "/proc/sys/dev/parport/parport0/base-addr") == 0)
        return proc_text("888\t0\n");
    if (path != nullptr && std::strcmp(path, "/proc/ioports") == 0)
        return proc_text("  0378-037a : parport0\n");
    if (path != nullptr && std::strncmp(path, "/proc/sys/dev/parport/", 22) == 0) {
        errno = ENOENT;
        return nullptr;
    }
    return real<FILE* (*)(const char*, const char*)>("fopen")(path, mode);
}

SHIM_EXPORT FILE* fopen64(const char* path, const char* mode) { return fopen(path, mode); }

SHIM_EXPORT int clock_gettime(clockid_t id, timespec* now) noexcept
{
    if (g_shim == nullptr || !g_shim->claimed || id != CLOCK_MONOTONIC)
        return real<int (*)(clockid_t, timespec*)>("clock_gettime")(id, now);
    sim::VirtualClock& clock = g_shim->board->clock();
    clock.advance(1000);
    now->tv_sec = static_cast<time_t>(clock.ns / 1'000'000'000u);
    now->tv_nsec = static_cast<long>(clock.ns % 1'000'000'000u);
    return 0;
}

// The direct way to the ports is always refused.
SHIM_EXPORT int ioperm(unsigned long, unsigned long, int) noexcept
{
    errno = EPERM;
    return -1;
}

SHIM_EXPORT int iopl(int) noexcept
{
    errno = EPERM;
    return -1;
}
