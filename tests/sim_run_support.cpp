// SPDX-License-Identifier: Apache-2.0
#include "tests/support/sim_run.h"

#include <array>
#include <cstdio>

#include <sys/wait.h>

#include "app/tool_main.h"
#include "sim/adapter_wiring.h"
#include "sim/sim_platform.h"

SimParsed sim_parse(const std::vector<std::string>& args)
{
    SimParsed parsed;
    parsed.status = sim::parse_sim_options(args, parsed.options, parsed.error).status;
    return parsed;
}

sim::BoardConfig sim_board_config(const sim::SimOptions& options)
{
    sim::BoardConfig config;
    std::string error;
    EXPECT_TRUE(sim::board_config(options, config, error).ok()) << error;
    return config;
}

SimSession::SimSession(const std::vector<std::string>& sim_options) : parse_(sim_parse(sim_options))
{
    sim::BoardConfig config;
    if (parse_.ok())
        parse_.status = sim::board_config(parse_.options, config, parse_.error).status;
    if (parse_.ok())
        parse_.status = sim::VirtualBoard::create(config, board_, parse_.error).status;
}

SimRun SimSession::run(const std::vector<std::string>& tool_options)
{
    SimRun result;
    if (!parse_.ok()) {
        result.status = 2;
        result.console = parse_.error + "\n";
        return result;
    }
    if (sim::AdapterWiring wiring; sim::adapter_wiring_from_tool_args(tool_options, wiring))
        board_->mpsse().wire(wiring);
    sim::SimPlatform platform(*board_, sim::key_setup(parse_.options));
    platform.capture_console(&result.console);

    std::vector<std::string> args{"tarnflash"};
    if (parse_.options.usb_cable)
        args.insert(args.end(), {"--cable", "ftdi"});
    // The virtual J-Link and GPIO chip as a user would name them; later options win.
    if (parse_.options.probes.cable == "jlink")
        args.insert(args.end(), {"--cable", "jlink"});
    if (parse_.options.probes.cable == "gpio")
        args.insert(args.end(), {"--cable", "gpio:gpiochip0", "--gpio-pins", "tck=11,tms=25,tdi=10,tdo=9"});
    if (parse_.options.dap_cable)
        args.insert(args.end(), {"--cable", "cmsis-dap"});
    args.insert(args.end(), tool_options.begin(), tool_options.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    result.status = tool_main(static_cast<int>(args.size()), argv.data(), platform);
    result.stats = board_->stats();
    result.virtual_ns = board_->now_ns();
    return result;
}

SimRun run_sim(const std::vector<std::string>& sim_options, const std::vector<std::string>& tool_options)
{
    SimSession session(sim_options);
    return session.run(tool_options);
}

int run_sim_program(const std::string& args, std::string& errors, bool output)
{
    std::string command = std::string("'") + TARNFLASH_SIM_PATH + "' " + args +
                          (output ? " 2>/dev/null </dev/null" : " 2>&1 >/dev/null </dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 256> buffer;
    errors.clear();
    while (size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe))
        errors.append(buffer.data(), count);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
