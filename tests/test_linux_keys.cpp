// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/interrupts.h"
#include "platform/linux/key_decoder.h"
#include "platform/linux/key_input.h"
#include "platform/linux/parallel_ports.h"

namespace {

constexpr int kEnter = KeyDecoder::kEnter;
constexpr int kEsc = KeyDecoder::kEscape;

struct DecodeCase {
    const char* label;
    std::vector<std::string> chunks;  // bytes that arrive together, chunk by chunk, each in time
    std::vector<int> keys;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.label; }

// The handshake before an event is sent: thread `tid` is blocked in its wait for input, as the
// kernel reports it ("running" while it is not blocked in a system call).
void wait_until_waiting(pid_t tid)
{
    for (std::string call = "running"; call == "running"; std::this_thread::yield())
        std::ifstream("/proc/self/task/" + std::to_string(tid) + "/syscall") >> call;
}

class KeyDecoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(KeyDecoding, TurnsBytesIntoKeys)
{
    KeyDecoder decoder;
    std::vector<int> keys;
    for (const std::string& chunk : GetParam().chunks) {
        // Room for one key per byte and a held ESC.
        std::vector<int> out(chunk.size() + 2, -99);
        size_t count = decoder.decode(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), out.data());
        ASSERT_LE(count, chunk.size() + 1);
        EXPECT_EQ(out[chunk.size() + 1], -99) << "wrote past its room";
        keys.insert(keys.end(), out.begin(), out.begin() + static_cast<long>(count));
    }
    int last;
    if (decoder.flush(&last))  // no more input in time
        keys.push_back(last);
    EXPECT_EQ(keys, GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, KeyDecoding,
    testing::Values(DecodeCase{"Plain", {"1q"}, {'1', 'q'}}, DecodeCase{"NewlineIsEnter", {"\n"}, {kEnter}},
                    DecodeCase{"ReturnIsEnter", {"\r"}, {kEnter}}, DecodeCase{"CrLfIsOneEnter", {"\r\n"}, {kEnter}},
                    DecodeCase{"CrLfAcrossReads", {"7\r", "\n8"}, {'7', kEnter, '8'}},
                    DecodeCase{"TwoNewlines", {"\n\n"}, {kEnter, kEnter}},
                    DecodeCase{"LfCrIsTwoEnters", {"\n\r"}, {kEnter, kEnter}},
                    DecodeCase{"CrCrLf", {"\r\r\n"}, {kEnter, kEnter}}, DecodeCase{"LoneEsc", {"\x1b"}, {kEsc}},
                    DecodeCase{"EscThenKey", {"\x1bq"}, {kEsc, 'q'}}, DecodeCase{"TwoEscs", {"\x1b\x1b"}, {kEsc, kEsc}},
                    DecodeCase{"ArrowUp", {"\x1b[A"}, {}}, DecodeCase{"ArrowKeypadMode", {"\x1bOB"}, {}},
                    DecodeCase{"ArrowWithModifier", {"\x1b[1;5C"}, {}}, DecodeCase{"FunctionKey", {"\x1b[15~2"}, {'2'}},
                    DecodeCase{"ArrowsAroundKeys", {"1\x1b[D\x1b[C2"}, {'1', '2'}},
                    DecodeCase{"SequenceFinishedNextRead", {"\x1b[1;", "5Aq"}, {'q'}},
                    DecodeCase{"KeypadSequenceFinishedNextRead", {"\x1bO", "Pq"}, {'q'}},
                    DecodeCase{"EscAloneInItsRead", {"\x1b", "x"}, {kEsc, 'x'}},
                    DecodeCase{"ArrowSplitAfterEsc", {"\x1b", "[A"}, {}},
                    DecodeCase{"KeypadArrowSplitAfterEsc", {"\x1b", "OB5"}, {'5'}},
                    DecodeCase{"EscEndsTheInput", {"7\x1b"}, {'7', kEsc}},
                    DecodeCase{"ControlByteBreaksSequence", {"\x1b[1\r"}, {kEnter}},
                    DecodeCase{"HighBytesPass", {"\xff\x80"}, {0xFF, 0x80}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.label); });

class PipeKeys : public testing::Test {
protected:
    int fds[2] = {-1, -1};
    void SetUp() override { ASSERT_EQ(pipe(fds), 0); }
    void TearDown() override
    {
        close(fds[0]);
        if (fds[1] >= 0)
            close(fds[1]);
    }
    void send(const std::string& bytes) { ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void close_input()
    {
        close(fds[1]);
        fds[1] = -1;
    }
};

TEST_F(PipeKeys, EmptyOpenPipeNeverWaits)
{
    KeyInput keys(fds[0]);
    EXPECT_FALSE(keys.available());
    EXPECT_FALSE(keys.ended());
}

TEST_F(PipeKeys, AnswersArriveAsKeysThenInputEnds)
{
    KeyInput keys(fds[0]);
    send("16\r\n2\nq\x1b[A\x1b");
    close_input();
    std::vector<int> got;
    while (keys.available())
        got.push_back(keys.read());
    EXPECT_EQ(got, (std::vector<int>{'1', '6', kEnter, '2', kEnter, 'q', kEsc}));
    EXPECT_TRUE(keys.ended());
    EXPECT_EQ(keys.read(), 0);  // no hang at end of input
}

TEST_F(PipeKeys, EndedOnlyAfterQueuedKeysAreRead)
{
    KeyInput keys(fds[0]);
    send("y");
    close_input();
    EXPECT_FALSE(keys.ended());
    EXPECT_EQ(keys.read(), 'y');
    EXPECT_TRUE(keys.ended());
}

TEST_F(PipeKeys, LongInputKeepsItsOrder)
{
    KeyInput keys(fds[0]);
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>('a' + i % 26);
    send(text);
    close_input();
    std::string got;
    while (!keys.ended())
        got += static_cast<char>(keys.read());
    EXPECT_EQ(got, text);
}

TEST_F(PipeKeys, ReadWaitsForTheNextKey)
{
    KeyInput keys(fds[0]);
    send("\x1b[B");
    EXPECT_FALSE(keys.available());  // the arrow is swallowed
    send("5");
    EXPECT_EQ(keys.read(), '5');
}

TEST_F(PipeKeys, LoneEscIsAKeyOnceTheGapHasPassed)
{
    KeyInput keys(fds[0], 10);
    send("\x1b");
    EXPECT_TRUE(keys.available());
    EXPECT_EQ(keys.read(), kEsc);
}

TEST_F(PipeKeys, ArrowSplitAfterItsEscIsNoEsc)
{
    KeyInput keys(fds[0], 5000);
    send("\x1b");
    const pid_t reader = gettid();
    std::thread late([this, reader] {
        wait_until_waiting(reader);  // the reader holds the ESC and waits for what may follow
        send("[A5");
    });
    EXPECT_EQ(keys.read(), '5');
    late.join();
}

// A pseudo-terminal for a child's keys; `ok` is false where the system has none.
struct PseudoTerminal {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    bool ok = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0;
    int terminal = ok ? open(ptsname(master), O_RDWR | O_NOCTTY) : -1;
    ~PseudoTerminal()
    {
        close(terminal);
        close(master);
    }
    bool line_mode() const
    {
        termios now;
        return tcgetattr(terminal, &now) == 0 && (now.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
    }
    bool raw() const
    {
        termios now;
        return tcgetattr(terminal, &now) == 0 && !(now.c_lflag & (ICANON | ECHO));
    }
};

// The child takes keys from a pseudo-terminal, which puts it in raw mode, then leaves
// one way or another; afterwards the terminal must edit lines and echo again.
TEST(TerminalKeys, LineModeComesBackOnEveryWayOut)
{
    enum class Way { end_of_scope, exit_call, raise_signal, abort_call, caught_interrupt, second_interrupt };
    const struct {
        const char* label;
        Way way;
        int signal_number;  // raised, for the ways that raise one
        int killed_by;      // the signal that ends the child, 0 if it exits
    } cases[] = {{"end of scope", Way::end_of_scope, 0, 0},
                 {"exit", Way::exit_call, 0, 0},
                 {"SIGINT", Way::raise_signal, SIGINT, SIGINT},
                 {"SIGHUP", Way::raise_signal, SIGHUP, SIGHUP},
                 {"SIGPIPE", Way::raise_signal, SIGPIPE, SIGPIPE},
                 {"SIGSEGV", Way::raise_signal, SIGSEGV, SIGSEGV},
                 {"abort", Way::abort_call, 0, SIGABRT},
                 {"caught SIGTERM, then the end", Way::caught_interrupt, SIGTERM, 0},
                 {"a second SIGINT", Way::second_interrupt, SIGINT, SIGINT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
#ifdef __SANITIZE_ADDRESS__
        if (c.signal_number == SIGSEGV)
            continue;  // AddressSanitizer takes SIGSEGV for itself
#endif
        PseudoTerminal pty;
        if (!pty.ok)
            GTEST_SKIP() << "no pseudo-terminal here";
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            {
                KeyInput keys(pty.terminal);
                keys.available();
                if (!pty.raw())
                    _exit(99);  // never went raw: the check below would prove nothing
                switch (c.way) {
                case Way::end_of_scope:
                    break;
                case Way::exit_call:
                    std::exit(0);
                case Way::raise_signal:
                    raise(c.signal_number);
                    break;
                case Way::abort_call:
                    std::abort();
                case Way::caught_interrupt:
                case Way::second_interrupt:
                    interrupts_catch();
                    raise(c.signal_number);
                    if (!pty.raw() || interrupt_requested() == nullptr)
                        _exit(98);  // the first interrupt must only be noted
                    if (c.way == Way::second_interrupt)
                        raise(c.signal_number);
                    break;
                }
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (c.killed_by == 0)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.killed_by) << status;
        EXPECT_TRUE(pty.line_mode());
    }
}

// Ctrl-Z: line mode while the job is stopped, raw again when it goes on.
TEST(TerminalKeys, StopGivesTheTerminalBackAndContinueTakesItAgain)
{
    PseudoTerminal pty;
    if (!pty.ok)
        GTEST_SKIP() << "no pseudo-terminal here";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setpgid(0, 0);  // a group of its own with its parent in the session: stop signals stop it
        KeyInput keys(pty.terminal);
        keys.available();
        if (!pty.raw())
            _exit(99);
        raise(SIGTSTP);
        _exit(pty.raw() ? 0 : 98);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << status;
    EXPECT_TRUE(pty.line_mode());
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// What ends a key wait, and when. Each case runs in a child of its own: the interrupt
// handlers are process-wide.
TEST(KeyWait, EndsAtAKeyTheEndOfInputAnInterruptOrTheTimeout)
{
    enum class Event { none, key, arrow, end, interrupt, interrupt_before };
    const struct {
        const char* label;
        Event event;  // sent once the waiter waits
        int timeout_ms;
        bool key;
        int min_ms, max_ms;
    } cases[] = {{"timeout", Event::none, 60, false, 55, 1000},
                 {"key", Event::key, 5000, true, 0, 2000},
                 {"arrow only: no key, the wait goes on", Event::arrow, 150, false, 145, 2000},
                 {"end of input", Event::end, -1, false, 0, 2000},
                 {"interrupt", Event::interrupt, -1, false, 0, 2000},
                 {"interrupt already there", Event::interrupt_before, -1, false, 0, 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(10);  // a wait that never ends fails the case instead of the whole run
            interrupts_catch();
            if (c.event == Event::interrupt_before)
                raise(SIGINT);
            KeyInput keys(fds[0]);
            pthread_t waiter = pthread_self();
            const pid_t waiter_tid = gettid();
            std::thread event([&] {
                if (c.event != Event::none && c.event != Event::interrupt_before)
                    wait_until_waiting(waiter_tid);
                if (c.event == Event::key || c.event == Event::arrow)
                    (void)!write(fds[1], c.event == Event::key ? "k" : "\x1b[A", c.event == Event::key ? 1 : 3);
                else if (c.event == Event::end)
                    close(fds[1]);
                else if (c.event == Event::interrupt)
                    pthread_kill(waiter, SIGTERM);
            });
            auto start = std::chrono::steady_clock::now();
            bool key = keys.wait(c.timeout_ms);
            auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            event.join();
            bool interrupted = c.event == Event::interrupt || c.event == Event::interrupt_before;
            _exit(key == c.key && took.count() >= c.min_ms && took.count() <= c.max_ms &&
                          (interrupt_requested() != nullptr) == interrupted
                      ? 0
                      : 1);
        }
        close(fds[0]);
        close(fds[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

struct SysctlCase {
    const char* text;
    uint16_t base;
};

TEST(KernelPortBase, FromSysctl)
{
    const SysctlCase cases[] = {{"888\t0\n", 0x378}, {"632\t1656\n", 0x278}, {"956 0\n", 0x3BC}, {"", 0},
                                {"x\n", 0},          {"70000\t0\n", 0}};
    for (const SysctlCase& c : cases)
        EXPECT_EQ(parport_base_from_sysctl(c.text), c.base) << '"' << c.text << '"';
}

TEST(KernelPortBase, FromIoports)
{
    const char* ioports =
        "0000-0cf7 : PCI Bus 0000:00\n"
        "  0278-027a : parport1\n"
        "  0378-037a : parport10\n"
        "  03bc-03be : parport0\n"
        "  07bc-07bf : parport0\n";
    EXPECT_EQ(parport_base_from_ioports(ioports, 0), 0x3BC);
    EXPECT_EQ(parport_base_from_ioports(ioports, 1), 0x278);
    EXPECT_EQ(parport_base_from_ioports(ioports, 10), 0x378);
    EXPECT_EQ(parport_base_from_ioports(ioports, 2), 0);
    EXPECT_EQ(parport_base_from_ioports("", 0), 0);
}

}  // namespace
