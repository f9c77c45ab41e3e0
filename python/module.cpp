// SPDX-License-Identifier: Apache-2.0
// The Python module: a cable and a set-up make a session, whose jobs run on the engine's job
// API with the GIL released; each ends with a result whose report is a dict.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "job/cable_inside.h"
#include "platform/platform.h"
#include "python/job_result.h"
#include "python/python_host.h"
#include "python/virtual_board.h"
#include "sim/sim_platform.h"

namespace py = pybind11;

namespace {

struct JobRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CableError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

py::handle refused_type;  // tarnflash.JobRefused

[[noreturn]] void raise_refused(const JobResult& result)
{
    py::handle type = refused_type;
    py::object error = type(result.message);
    error.attr("status") = result.status;
    error.attr("address") = result.address;
    error.attr("block") = result.block;
    error.attr("cause") = result.message;
    error.attr("report") = result.report;
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

std::span<const uint8_t> bytes_of(const py::bytes& data)
{
    char* start = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(data.ptr(), &start, &size);
    return {reinterpret_cast<const uint8_t*>(start), static_cast<size_t>(size)};
}

tarnflash::CableChoice cable_choice(const std::string& cable, tarnflash::CableChoice choice)
{
    const struct {
        const char* name;
        tarnflash::CableKind kind;
    } kinds[] = {{"parport", tarnflash::CableKind::parport},
                 {"ftdi", tarnflash::CableKind::ftdi},
                 {"jlink", tarnflash::CableKind::jlink},
                 {"cmsis-dap", tarnflash::CableKind::cmsis_dap},
                 {"gpio", tarnflash::CableKind::gpio}};
    for (const auto& k : kinds)
        if (cable == k.name) {
            choice.kind = k.kind;
            return choice;
        }
    // A JTAG server: the whole name says which protocol and where.
    for (const std::string_view server : {"xvc:", "remote-bitbang:"})
        if (cable.starts_with(server)) {
            choice.kind = tarnflash::CableKind::remote;
            choice.port = cable;
            return choice;
        }
    throw py::value_error("unknown cable '" + cable +
                          "' (parport, ftdi, jlink, cmsis-dap, gpio, xvc:HOST:PORT, remote-bitbang:HOST:PORT)");
}

bool on_main_thread()
{
    py::module_ threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

class Session {
public:
    Session(py::object board, const tarnflash::CableChoice& choice, tarnflash::Setup setup, py::object progress)
        : board_(std::move(board)), setup_(std::move(setup)), progress_(std::move(progress))
    {
        std::string cause;
        if (board_.is_none()) {
            cable_ = tarnflash::open_cable(choice, &cause);
            clock_ = cable_ ? &platform() : nullptr;
        } else {
            sim::KeySetup no_keys;
            no_keys.scripted = true;
            sim_ = std::make_unique<sim::SimPlatform>(board_.cast<PyVirtualBoard&>().board(), no_keys);
            cable_ = tarnflash::open_cable_on(*sim_, choice, &cause);
            clock_ = sim_.get();
        }
        if (!cable_)
            throw CableError(cause);
    }

    // Runs `job` on a job over the session's cable with the GIL released. What the progress
    // callback raised, or a Ctrl-C, is raised once the job has ended.
    template <typename Run>
    auto run(const tarnflash::Setup& setup, Run job)
    {
        if (!cable_)
            throw std::runtime_error("the session is closed");
        if (running_)
            throw std::runtime_error("a job is running on this session");
        stop_ = false;
        PythonHost host(*clock_, progress_, stop_);
        std::pair<decltype(job(std::declval<tarnflash::Job&>())), tarnflash::Report> done;
        {
            // Read and written with the GIL held: by close() and the next job from another thread.
            struct Running {
                bool& running;
                ~Running() { running = false; }
            } running{running_};
            running_ = true;
            SigintCatch sigint(on_main_thread());
            py::gil_scoped_release released;
            tarnflash::Job on_flash(*cable_, setup, host);
            done.first = job(on_flash);
            done.second = on_flash.report();
        }
        if (std::optional<py::error_already_set> error = host.take_error())
            throw std::move(*error);
        if (SigintCatch::arrived()) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
            throw py::error_already_set();
        }
        return done;
    }

    // A job that ends with an outcome: a result, unless it was refused.
    template <typename Run>
    JobResult outcome_of(const char* kind, Run job)
    {
        const auto [outcome, report] = run(setup_, job);
        JobResult result = job_result(kind, outcome, report);
        if (result.status == "refused")
            raise_refused(result);
        return result;
    }

    py::dict detect()
    {
        tarnflash::Setup find = setup_;
        find.flash.clear();
        find.detect = true;
        const auto [found, report] = run(find, [](tarnflash::Job& job) { return job.detect(); });
        if (!found.outcome.ok())
            raise_refused(job_result("detect", found.outcome, report));
        return found_dict(found);
    }

    py::bytes read(uint32_t start, uint32_t size)
    {
        const auto [read, report] = run(setup_, [&](tarnflash::Job& job) { return job.read(start, size); });
        if (!read.outcome.ok())
            raise_refused(job_result("read", read.outcome, report));
        return {reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()};
    }

    // Stops the running job, if any, at its next safe point; from any thread.
    void stop() { stop_ = true; }
    // Parks and releases the cable.
    void close()
    {
        if (running_)
            throw std::runtime_error("a job is running on this session");
        cable_.reset();
    }

private:
    py::object board_;  // a PyVirtualBoard, or None for real hardware
    std::unique_ptr<sim::SimPlatform> sim_;
    Platform* clock_ = nullptr;
    std::unique_ptr<tarnflash::Cable> cable_;
    tarnflash::Setup setup_;
    py::object progress_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
};

// A size, or "all" for the whole chip.
bool whole_chip(const py::object& size)
{
    if (!py::isinstance<py::str>(size))
        return false;
    if (size.cast<std::string>() != "all")
        throw py::value_error("the size is a number of bytes or \"all\"");
    return true;
}

// The number for a command line: decimal.
std::string number(uint64_t value) { return std::to_string(value); }

}  // namespace

PYBIND11_MODULE(tarnflash, m)
{
    m.doc() = "Program a parallel NOR flash through a CPU's JTAG boundary scan, on a real cable or a virtual board.";
    refused_type = py::register_exception<JobRefused>(m, "JobRefused");
    py::register_exception<CableError>(m, "CableError", PyExc_RuntimeError);

    py::class_<PyVirtualBoard>(m, "VirtualBoard")
        .def(py::init([](const std::string& cpu, const std::string& flash, const std::optional<std::string>& bus,
                         const std::vector<int>& protect, const std::vector<int>& lock,
                         const std::vector<std::string>& faults, const std::vector<std::string>& chain_before,
                         const std::vector<std::string>& chain_after, const std::optional<py::bytes>& flash_in,
                         const std::vector<std::string>& options) {
                 std::vector<std::string> args{"--cpu", cpu, "--flash", flash};
                 if (bus)
                     args.insert(args.end(), {"--bus", *bus});
                 for (int block : protect)
                     args.insert(args.end(), {"--protect", number(static_cast<uint64_t>(block))});
                 for (int block : lock)
                     args.insert(args.end(), {"--lock", number(static_cast<uint64_t>(block))});
                 for (const std::string& fault : faults)
                     args.insert(args.end(), {"--fault", fault});
                 for (const std::string& device : chain_before)
                     args.insert(args.end(), {"--chain-before", device});
                 for (const std::string& device : chain_after)
                     args.insert(args.end(), {"--chain-after", device});
                 args.insert(args.end(), options.begin(), options.end());
                 const std::optional<std::string> contents =
                     flash_in ? std::optional<std::string>(*flash_in) : std::nullopt;
                 return std::make_unique<PyVirtualBoard>(args, contents ? &*contents : nullptr);
             }),
             py::kw_only(), py::arg("cpu") = "KTR5200", py::arg("flash") = "S29AL008D", py::arg("bus") = py::none(),
             py::arg("protect") = std::vector<int>{}, py::arg("lock") = std::vector<int>{},
             py::arg("faults") = std::vector<std::string>{}, py::arg("chain_before") = std::vector<std::string>{},
             py::arg("chain_after") = std::vector<std::string>{}, py::arg("flash_in") = py::none(),
             py::arg("options") = std::vector<std::string>{})
        .def("contents",
             [](PyVirtualBoard& board) {
                 const std::vector<uint8_t> bytes = board.contents();
                 return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
             })
        .def("load", [](PyVirtualBoard& board, const py::bytes& data) { board.load(data); });

    py::class_<JobResult>(m, "Result")
        .def_property_readonly("ok", &JobResult::ok)
        .def_readonly("status", &JobResult::status)
        .def_readonly("message", &JobResult::message)
        .def_readonly("address", &JobResult::address)
        .def_readonly("expected", &JobResult::expected)
        .def_readonly("actual", &JobResult::actual)
        .def_readonly("block", &JobResult::block)
        .def_readonly("report", &JobResult::report)
        .def("__bool__", &JobResult::ok)
        .def("__repr__", [](const JobResult& r) {
            return "<tarnflash.Result " + r.status + (r.message.empty() ? "" : ": " + r.message) + ">";
        });

    py::class_<Session>(m, "Session")
        .def("detect", &Session::detect)
        .def(
            "program",
            [](Session& s, const py::bytes& image, uint32_t start, const py::object& erase, bool verify_erase,
               bool unlock, bool unlock_all, bool update) {
                tarnflash::ProgramOptions options{.start = start,
                                                  .verify_erase = verify_erase,
                                                  .unlock = unlock,
                                                  .unlock_all = unlock_all,
                                                  .update = update};
                options.erase_all = whole_chip(erase);
                if (!options.erase_all && !erase.is_none())
                    options.erase_size = erase.cast<uint32_t>();
                const std::span<const uint8_t> bytes = bytes_of(image);
                return s.outcome_of("program", [&](tarnflash::Job& job) { return job.program(bytes, options); });
            },
            py::arg("image"), py::kw_only(), py::arg("start") = 0, py::arg("erase") = py::none(),
            py::arg("verify_erase") = false, py::arg("unlock") = false, py::arg("unlock_all") = false,
            py::arg("update") = false)
        .def("read", &Session::read, py::arg("start"), py::arg("size"))
        .def(
            "verify",
            [](Session& s, const py::bytes& image, uint32_t start) {
                const std::span<const uint8_t> bytes = bytes_of(image);
                return s.outcome_of("verify", [&](tarnflash::Job& job) { return job.verify(bytes, start); });
            },
            py::arg("image"), py::kw_only(), py::arg("start") = 0)
        .def(
            "erase",
            [](Session& s, uint32_t start, const py::object& size) {
                if (whole_chip(size))
                    return s.outcome_of("erase", [](tarnflash::Job& job) { return job.erase_all(); });
                const auto bytes = size.cast<uint32_t>();
                return s.outcome_of("erase", [&](tarnflash::Job& job) { return job.erase(start, bytes); });
            },
            py::arg("start"), py::arg("size"))
        .def("stop", &Session::stop, "Stops the running job at its next safe point (any thread).")
        .def("close", &Session::close, "Parks and releases the cable; a job after it raises.")
        .def("__enter__", [](Session& s) -> Session& { return s; })
        .def("__exit__", [](Session& s, const py::args&) {
            s.close();
            return false;
        });

    m.def(
        "open",
        [](const std::string& cable, py::object board, const std::optional<std::string>& serial,
           const std::optional<std::string>& port, const std::optional<std::string>& config, uint32_t khz,
           const std::optional<std::string>& cpu, const std::optional<std::string>& bsdl, const std::string& bus,
           const std::vector<std::string>& hold, const std::optional<std::string>& flash, int width, int chips,
           uint32_t devices_before, uint32_t devices_after, uint32_t ir_before, uint32_t ir_after,
           py::object progress) {
            if (!board.is_none() && !py::isinstance<PyVirtualBoard>(board))
                throw py::type_error("board must be a tarnflash.VirtualBoard");
            tarnflash::Setup setup{
                .chain = {devices_before, devices_after, ir_before, ir_after}, .bus_width = width, .interleave = chips};
            if (bsdl) {
                setup.bsdl = *bsdl;
                setup.bus = bus;
                setup.hold = hold;
            } else {
                setup.cpu = cpu.value_or("KTR5200");
            }
            setup.flash = flash.value_or("");
            setup.detect = !flash;
            const tarnflash::CableChoice choice = cable_choice(
                cable,
                {.serial = serial.value_or(""), .port = port.value_or(""), .config = config.value_or(""), .khz = khz});
            return std::make_unique<Session>(std::move(board), choice, setup, std::move(progress));
        },
        py::arg("cable") = "parport", py::kw_only(), py::arg("board") = py::none(), py::arg("serial") = py::none(),
        py::arg("port") = py::none(), py::arg("config") = py::none(), py::arg("khz") = 0, py::arg("cpu") = py::none(),
        py::arg("bsdl") = py::none(), py::arg("bus") = "", py::arg("hold") = std::vector<std::string>{},
        py::arg("flash") = py::none(), py::arg("width") = 0, py::arg("chips") = 0, py::arg("devices_before") = 0,
        py::arg("devices_after") = 0, py::arg("ir_before") = 0, py::arg("ir_after") = 0,
        py::arg("progress") = py::none());
}
