// SPDX-License-Identifier: Apache-2.0
// tarnflash-sim [simulator options] -- [tarnflash options]
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/help.h"
#include "app/tool_main.h"
#include "platform/interrupts.h"
#include "sim/adapter_wiring.h"
#include "sim/board.h"
#include "sim/sim_options.h"
#include "sim/sim_platform.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    sim::SimParse parse = sim::parse_sim_options(args);
    if (!parse.ok) {
        std::fprintf(stderr, "%s\n", parse.error.c_str());
        return 2;
    }
    const sim::SimOptions& options = parse.options;
    if (options.help) {
        std::fputs(sim::sim_usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tarnflash-sim %s\n%s", TARNFLASH_VERSION_TEXT, kLicenceLine);
        return 0;
    }

    std::unique_ptr<sim::VirtualBoard> board_owner;
    try {
        board_owner = std::make_unique<sim::VirtualBoard>(sim::board_config(options));
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "tarnflash-sim: %s\n", error.what());
        return 2;
    }
    if (std::string error; !sim::check_flash_out(options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    sim::VirtualBoard& board = *board_owner;
    // The adapter board as the tool's configuration describes it; one with a serial number
    // stands for a device another simulator may name too.
    if (sim::AdapterWiring wiring; sim::adapter_wiring_from_tool_args(options.tool_args, wiring))
        board.mpsse().wire(wiring);
    board.mpsse().set_exclusive(!options.usb_serial.empty());
    sim::SimPlatform platform(board, sim::key_setup(options));
    interrupts_catch();

    std::string program = "tarnflash";
    std::vector<char*> tool_argv{program.data()};
    std::vector<std::string> tool_args = options.tool_args;
    // The board's cable choice reaches the tool as its own option.
    if (options.usb_cable)
        tool_args.insert(tool_args.begin(), {"--cable", "ftdi"});
    for (std::string& arg : tool_args)
        tool_argv.push_back(arg.data());
    tool_argv.push_back(nullptr);

    int status = tool_main(static_cast<int>(tool_argv.size() - 1), tool_argv.data(), platform);
    // The board's clock ran at --port-ns per port access: the tool's elapsed time is what the
    // job would take on real hardware of that speed, and nothing else says so.
    if (platform.elapsed_time_printed())
        std::fputs(sim::elapsed_time_note(options).c_str(), stdout);
    std::fflush(stdout);

    if (options.stats)
        std::fputs(sim::stats_text(board).c_str(), stderr);
    if (std::string error; !sim::write_flash_out(options, board, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    return status;
}
