// SPDX-License-Identifier: Apache-2.0
// The Python module: a cable and a set-up make a session, whose jobs run the tool's own job
// inside this process with the GIL released; each ends with the job's JSON report as a dict.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "python/job_files.h"
#include "python/tool_run.h"
#include "python/virtual_board.h"
#include "sim/sim_platform.h"

namespace py = pybind11;

namespace {

struct JobRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The stages that change or read the flash: a job that failed before any of them was refused.
constexpr const char* kJobStages[] = {"erase", "program", "read", "verify"};

struct Result {
    std::string status;   // ok, failed, cancelled (refused raises JobRefused)
    std::string message;  // the job's last line, its cause when it failed
    py::object address;   // the first failing address, or None
    py::dict report;
    std::string log;
    bool ok() const { return status == "ok"; }
};

class Session {
public:
    Session(py::object board, std::vector<std::string> cable_args, std::vector<std::string> target_args,
            std::vector<std::string> flash_args, py::object progress)
        : board_(std::move(board)),
          cable_args_(std::move(cable_args)),
          target_args_(std::move(target_args)),
          flash_args_(std::move(flash_args)),
          progress_(std::move(progress))
    {}

    // `with_flash`: the flash set-up given, else found from what the flash answers.
    Result run(std::vector<std::string> job_args, const JobFiles& files, bool with_flash = true);
    // Stops the running job, if any, at its next safe point.
    void stop()
    {
        if (StationPlatform* station = running_.load())
            station->request_stop();
    }
    void close() { closed_ = true; }

private:
    py::object board_;  // a PyVirtualBoard, or None for real hardware
    std::vector<std::string> cable_args_;
    std::vector<std::string> target_args_;
    std::vector<std::string> flash_args_;
    py::object progress_;
    std::atomic<StationPlatform*> running_{nullptr};
    bool closed_ = false;
};

py::handle refused_type;  // tarnflash.JobRefused

[[noreturn]] void raise_refused(const Result& result)
{
    py::handle type = refused_type;
    py::object error = type(result.message);
    error.attr("status") = result.status;
    error.attr("address") = result.address;
    error.attr("cause") = result.message;
    error.attr("report") = result.report;
    error.attr("log") = result.log;
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

Result Session::run(std::vector<std::string> job_args, const JobFiles& files, bool with_flash)
{
    if (closed_)
        throw std::runtime_error("the session is closed");
    std::vector<std::string> args = cable_args_;
    args.insert(args.end(), target_args_.begin(), target_args_.end());
    if (with_flash)
        args.insert(args.end(), flash_args_.begin(), flash_args_.end());
    args.insert(args.end(), job_args.begin(), job_args.end());
    args.insert(args.end(), {"--report", files.path("report.json")});

    std::optional<py::error_already_set> callback_error;
    auto progress = [&](const std::string& stage, uint32_t done, uint32_t total) {
        if (progress_.is_none())
            return false;
        py::gil_scoped_acquire gil;
        try {
            return py::bool_(progress_(stage, done, total)).cast<bool>();
        } catch (py::error_already_set& error) {
            callback_error = std::move(error);
            return true;
        }
    };
    std::unique_ptr<Platform> inner;
    if (board_.is_none()) {
        inner = std::make_unique<LinuxPlatform>();
    } else {
        sim::KeySetup no_keys;
        no_keys.scripted = true;
        inner = std::make_unique<sim::SimPlatform>(board_.cast<PyVirtualBoard&>().board(), no_keys);
    }
    StationPlatform station(*inner, progress);
    ToolRun ran;
    {
        py::gil_scoped_release released;
        running_ = &station;
        ran = run_tool_in_process(station, args);
        running_ = nullptr;
    }
    if (callback_error)
        throw std::move(*callback_error);
    if (!ran.interrupt.empty()) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
        throw py::error_already_set();
    }

    Result result;
    result.log = ran.log;
    result.report = py::module_::import("json").attr("loads")(files.read("report.json"));
    py::dict outcome = result.report["outcome"];
    result.message = py::str(outcome["message"]);
    result.address = outcome["first_failing_address"];
    bool staged = false;
    py::dict stages = result.report["stages_s"];
    for (const char* stage : kJobStages)
        staged = staged || stages.contains(stage);
    result.status = ran.status == 0 ? "ok" : ran.stopped ? "cancelled" : staged ? "failed" : "refused";
    if (result.status == "refused")
        raise_refused(result);
    return result;
}

std::vector<std::string> cable_args(const std::string& cable, const std::optional<std::string>& cable_id,
                                    const std::optional<std::string>& serial, const std::optional<std::string>& config,
                                    const std::vector<std::string>& options)
{
    std::vector<std::string> args;
    if (cable != "parport")
        args.insert(args.end(), {"--cable", cable});
    if (cable_id)
        args.insert(args.end(), {"--cable-id", *cable_id});
    if (serial)
        args.insert(args.end(), {"--cable-serial", *serial});
    if (config)
        args.insert(args.end(), {"--cable-config", *config});
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

// The number for a command line: decimal.
std::string number(uint64_t value) { return std::to_string(value); }

}  // namespace

PYBIND11_MODULE(tarnflash, m)
{
    m.doc() = "Program a parallel NOR flash through a CPU's JTAG boundary scan, on a real cable or a virtual board.";
    refused_type = py::register_exception<JobRefused>(m, "JobRefused");

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

    py::class_<Result>(m, "Result")
        .def_property_readonly("ok", &Result::ok)
        .def_readonly("status", &Result::status)
        .def_readonly("message", &Result::message)
        .def_readonly("address", &Result::address)
        .def_readonly("report", &Result::report)
        .def_readonly("log", &Result::log)
        .def("__bool__", &Result::ok)
        .def("__repr__", [](const Result& r) { return "<tarnflash.Result " + r.status + ": " + r.message + ">"; });

    py::class_<Session>(m, "Session")
        .def("detect",
             [](Session& s) {
                 JobFiles files;
                 // The smallest read that identifies the flash: what it answered is in the report.
                 Result r = s.run({"--detect", "-e", "2", "--read", files.path("detected.bin")}, files, false);
                 return py::dict(r.report["flash"]);
             })
        .def(
            "program",
            [](Session& s, const py::bytes& image, uint64_t start, const py::object& erase) {
                JobFiles files;
                const std::string path = files.write("image.bin", image);
                std::vector<std::string> args{"-o", number(start), "-f" + path};
                if (py::isinstance<py::str>(erase) && erase.cast<std::string>() == "all")
                    args.push_back("-eall");
                else if (!erase.is_none())
                    args.insert(args.end(), {"-e", number(erase.cast<uint64_t>())});
                else
                    args.insert(args.end(), {"-e", number(py::len(image))});
                return s.run(args, files);
            },
            py::arg("image"), py::kw_only(), py::arg("start") = 0, py::arg("erase") = py::none())
        .def(
            "read",
            [](Session& s, uint64_t start, uint64_t size) {
                JobFiles files;
                Result r = s.run({"-o", number(start), "-e", number(size), "--read", files.path("read.bin")}, files);
                if (!r.ok())
                    raise_refused(r);
                return py::bytes(files.read("read.bin"));
            },
            py::arg("start"), py::arg("size"))
        .def(
            "verify",
            [](Session& s, const py::bytes& image, uint64_t start) {
                JobFiles files;
                const std::string path = files.write("image.bin", image);
                return s.run({"-o", number(start), "--verify", path}, files);
            },
            py::arg("image"), py::kw_only(), py::arg("start") = 0)
        .def(
            "erase",
            [](Session& s, uint64_t start, const py::object& size) {
                JobFiles files;
                if (py::isinstance<py::str>(size) && size.cast<std::string>() == "all")
                    return s.run({"-o", number(start), "-eall"}, files);
                return s.run({"-o", number(start), "-e", number(size.cast<uint64_t>())}, files);
            },
            py::arg("start"), py::arg("size"))
        .def("stop", &Session::stop, "Stops the running job at its next safe point (any thread).")
        .def("close", &Session::close)
        .def("__enter__", [](Session& s) -> Session& { return s; })
        .def("__exit__", [](Session& s, const py::args&) {
            s.close();
            return false;
        });

    m.def(
        "open",
        [](const std::string& cable, py::object board, const std::optional<std::string>& cable_id,
           const std::optional<std::string>& serial, const std::optional<std::string>& config,
           const std::optional<std::string>& cpu, const std::optional<std::string>& bsdl,
           const std::optional<std::string>& bus, const std::vector<std::string>& hold,
           const std::optional<std::string>& flash, const std::optional<int>& width, const std::optional<int>& chips,
           const std::optional<int>& device, py::object progress, const std::vector<std::string>& options) {
            if (!board.is_none() && !py::isinstance<PyVirtualBoard>(board))
                throw py::type_error("board must be a tarnflash.VirtualBoard");
            std::vector<std::string> setup;
            std::vector<std::string> flash_setup;
            if (bsdl) {
                setup.insert(setup.end(), {"--bsdl", *bsdl});
                if (bus)
                    setup.insert(setup.end(), {"--bus", *bus});
                for (const std::string& pin : hold)
                    setup.insert(setup.end(), {"--hold", pin});
            } else {
                setup.insert(setup.end(), {"-C", cpu.value_or("KTR5200")});
            }
            if (device)
                setup.insert(setup.end(), {"--device", number(static_cast<uint64_t>(*device))});
            if (flash)
                flash_setup.insert(flash_setup.end(), {"-F", *flash});
            else
                flash_setup.push_back("--detect");
            if (width)
                flash_setup.insert(flash_setup.end(), {"-w", number(static_cast<uint64_t>(*width))});
            if (chips)
                flash_setup.insert(flash_setup.end(), {"-i", number(static_cast<uint64_t>(*chips))});
            return std::make_unique<Session>(board, cable_args(cable, cable_id, serial, config, options), setup,
                                             flash_setup, progress);
        },
        py::arg("cable") = "parport", py::kw_only(), py::arg("board") = py::none(), py::arg("cable_id") = py::none(),
        py::arg("serial") = py::none(), py::arg("config") = py::none(), py::arg("cpu") = py::none(),
        py::arg("bsdl") = py::none(), py::arg("bus") = py::none(), py::arg("hold") = std::vector<std::string>{},
        py::arg("flash") = py::none(), py::arg("width") = py::none(), py::arg("chips") = py::none(),
        py::arg("device") = py::none(), py::arg("progress") = py::none(),
        py::arg("options") = std::vector<std::string>{});
}
