// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/parallel_ports.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <ctime>

#include <fcntl.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/interrupts.h"

namespace {

constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr int kMaxParports = 8;
constexpr long kClaimTickUs = 100'000;

void parport_path(char (&path)[32], int index) { std::snprintf(path, sizeof path, "/dev/parport%d", index); }

// Only there to make a blocked PPCLAIM return with EINTR.
void on_claim_tick(int) {}

int64_t monotonic_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Reads a small text file whole (at most `limit` bytes); false if it cannot be read.
bool read_text(const char* path, std::string& text, size_t limit = 16383)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    text.resize(limit);
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return true;
}

uint16_t kernel_base(int index)
{
    std::string text;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/sys/dev/parport/parport%d/base-addr", index);
    if (read_text(path, text)) {
        if (uint16_t base = parport_base_from_sysctl(text.c_str()))
            return base;
    }
    if (read_text("/proc/ioports", text))
        return parport_base_from_ioports(text.c_str(), index);
    return 0;
}

}  // namespace

uint16_t parport_base_from_sysctl(const char* text)
{
    char* end = nullptr;
    unsigned long base = std::strtoul(text, &end, 10);
    if (end == text || base == 0 || base > 0xFFFF)
        return 0;
    return static_cast<uint16_t>(base);
}

uint16_t parport_base_from_ioports(const char* text, int index)
{
    // Lines like "  0378-037a : parport0"; the name must end there (parport1 is not parport10).
    char name[24];
    std::snprintf(name, sizeof name, "parport%d", index);
    size_t name_length = std::strlen(name);
    for (const char* line = text; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
        const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
        if (colon != nullptr) {
            const char* label = colon + 1;
            while (*label == ' ')
                ++label;
            size_t rest = length - static_cast<size_t>(label - line);
            if (rest == name_length && std::strncmp(label, name, name_length) == 0) {
                const char* digits = line;
                while (*digits == ' ')
                    ++digits;
                char* stop = nullptr;
                unsigned long base = std::strtoul(digits, &stop, 16);
                if (stop != digits && *stop == '-' && base != 0 && base <= 0xFFFF)
                    return static_cast<uint16_t>(base);
            }
        }
        line += length;
        if (*line == '\n')
            ++line;
    }
    return 0;
}

ParallelPorts::ParallelPorts(int claim_wait_ms) : claim_wait_ms_(claim_wait_ms)
{
    for (size_t i = 0; i < 3; ++i)
        slots_[i] = Slot{kCandidates[i], Way::none, -1, -1};
}

ParallelPorts::~ParallelPorts() { release(); }

void ParallelPorts::note_fault(const char* call, const Slot& slot)
{
    if (fault_[0] != '\0')
        return;
    int error = errno;
    std::snprintf(fault_, sizeof fault_, "ppdev %s on /dev/parport%d: %s", call, slot.index, std::strerror(error));
}

void ParallelPorts::release()
{
    for (Slot& slot : slots_) {
        if (slot.way != Way::ppdev)
            continue;
        if (ioctl(slot.fd, PPRELEASE) != 0)
            note_fault("PPRELEASE", slot);
        if (close(slot.fd) != 0)
            note_fault("close", slot);
        slot.way = Way::none;
        slot.fd = -1;
    }
}

bool ParallelPorts::claim(int fd, const char* path)
{
    // The kernel ends PPCLAIM's wait for a busy port only for a caught signal: a ticking timer
    // lets the wait be bounded and an interrupt end it.
    struct sigaction tick = {};
    tick.sa_handler = on_claim_tick;
    sigemptyset(&tick.sa_mask);
    struct sigaction old_action;
    sigaction(SIGALRM, &tick, &old_action);
    itimerval ticking = {{0, kClaimTickUs}, {0, kClaimTickUs}};
    itimerval old_timer;
    setitimer(ITIMER_REAL, &ticking, &old_timer);

    const int64_t start = monotonic_ms();
    int result;
    while ((result = ioctl(fd, PPCLAIM)) != 0 && errno == EINTR) {
        if (interrupt_requested() != nullptr || monotonic_ms() - start >= claim_wait_ms_)
            break;
    }
    int error = errno;
    setitimer(ITIMER_REAL, &old_timer, nullptr);
    sigaction(SIGALRM, &old_action, nullptr);
    if (result == 0)
        return true;
    if (error != EINTR)
        std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "ppdev PPCLAIM on %s: %s", path, std::strerror(error));
    else if (const char* interrupt = interrupt_requested())
        std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "ppdev PPCLAIM on %s: %s while the port was busy", path,
                      interrupt);
    else
        std::snprintf(ppdev_problem_, sizeof ppdev_problem_,
                      "ppdev PPCLAIM on %s: busy for %d s (another program or driver holds the port)", path,
                      (claim_wait_ms_ + 999) / 1000);
    return false;
}

bool ParallelPorts::open_ppdev(Slot& slot)
{
    for (int index = 0; index < kMaxParports; ++index) {
        char path[32];
        parport_path(path, index);
        if (access(path, F_OK) != 0)
            continue;
        if (kernel_base(index) != slot.base) {
            if (ppdev_problem_[0] == '\0')
                std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "%s is not at a known LPT base", path);
            continue;
        }
        int fd = ::open(path, O_RDWR);
        if (fd < 0) {
            std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "ppdev open on %s: %s", path, std::strerror(errno));
            continue;
        }
        if (!claim(fd, path)) {
            close(fd);
            continue;
        }
        int forward = 0;  // drive the data lines
        if (ioctl(fd, PPDATADIR, &forward) != 0) {
            std::snprintf(ppdev_problem_, sizeof ppdev_problem_, "ppdev PPDATADIR on %s: %s", path,
                          std::strerror(errno));
            ioctl(fd, PPRELEASE);
            close(fd);
            continue;
        }
        slot.way = Way::ppdev;
        slot.fd = fd;
        slot.index = index;
        return true;
    }
    return false;
}

const char* ParallelPorts::open()
{
    char ioperm_problem[80] = "not available on this processor";
    bool reachable = false;
    for (Slot& slot : slots_) {
        if (slot.way != Way::none) {
            reachable = true;
            continue;
        }
#if TF_DIRECT_PORT_IO
        if (ioperm(slot.base, 3, 1) == 0) {
            slot.way = Way::direct;
            reachable = true;
            continue;
        }
        std::snprintf(ioperm_problem, sizeof ioperm_problem, "%s", std::strerror(errno));
#endif
        if (open_ppdev(slot))
            reachable = true;
    }
    if (reachable)
        return nullptr;
    std::snprintf(reason_, sizeof reason_,
                  "Cannot access the parallel port: ioperm: %s; %s. Run as root, or as a member "
                  "of the lp group with /dev/parportN present",
                  ioperm_problem, ppdev_problem_[0] ? ppdev_problem_ : "no /dev/parportN found");
    return reason_;
}

void ParallelPorts::ppdev_write(Slot& slot, uint16_t reg, uint8_t value)
{
    // Only the data register is ever written; status is read-only.
    if (reg == 0 && ioctl(slot.fd, PPWDATA, &value) != 0)
        note_fault("PPWDATA", slot);
}

uint8_t ParallelPorts::ppdev_read(Slot& slot, uint16_t reg)
{
    static constexpr struct {
        unsigned long request;
        const char* name;
    } kReads[] = {{PPRDATA, "PPRDATA"}, {PPRSTATUS, "PPRSTATUS"}, {PPRCONTROL, "PPRCONTROL"}};
    // After a fault nothing read can be trusted: a status of 0xFF is what a missing port reads.
    if (fault_[0] != '\0')
        return 0xFF;
    unsigned char value = 0xFF;
    if (ioctl(slot.fd, kReads[reg].request, &value) != 0) {
        note_fault(kReads[reg].name, slot);
        return 0xFF;
    }
    return value;
}
