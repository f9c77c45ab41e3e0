// SPDX-License-Identifier: Apache-2.0
#include "jtag/adapter_config.h"

#include <cstdio>
#include <map>

#include "jtag/number_text.h"

namespace {

// TCK, TDI, TDO and TMS: an adapter signal on them would fight the scans.
constexpr uint16_t kJtagLines = 0x000F;
constexpr uint16_t kJtagOutputs = 0x000B;
constexpr uint16_t kTdo = 0x0004;
constexpr int kSourceDepth = 8;

struct Command {
    int line = 0;
    std::vector<std::string> words;
};

// One file's Tcl text cut into commands: blanks between words, newlines and ';' between
// commands, '#' comments, backslash-newline, "..." and {...} words, and [find NAME].
class TclReader {
public:
    TclReader(std::string_view text, const std::function<bool(const std::string&, std::string&)>& substitute)
        : text_(text), substitute_(substitute)
    {}

    // False with the line and reason at the first syntax error; `done` at the end of the text.
    bool next(Command& command, bool& done, int& line, std::string& reason)
    {
        command = {};
        skip_separators();
        done = at_end();
        if (done)
            return true;
        command.line = line_;
        while (!at_end() && peek() != '\n' && peek() != ';') {
            std::string word;
            if (!read_word(word, reason)) {
                line = line_;
                return false;
            }
            command.words.push_back(std::move(word));
            skip_blanks();
        }
        return true;
    }

private:
    bool at_end() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    char take()
    {
        const char c = text_[pos_++];
        if (c == '\n')
            ++line_;
        return c;
    }
    bool continuation() const { return peek() == '\\' && peek(1) == '\n'; }

    void skip_blanks()
    {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || continuation()))
            if (take() == '\\')
                take();  // the newline after it
    }

    void skip_separators()
    {
        while (true) {
            skip_blanks();
            if (!at_end() && (peek() == '\n' || peek() == ';')) {
                take();
            } else if (peek() == '#') {
                while (!at_end() && peek() != '\n') {
                    if (continuation())
                        take();
                    take();
                }
            } else {
                return;
            }
        }
    }

    bool word_ends() const
    {
        const char c = peek();
        return at_end() || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';' || continuation();
    }

    void escape(std::string& word)
    {
        take();  // the backslash
        const char c = take();
        switch (c) {
        case 'n':
            word += '\n';
            break;
        case 't':
            word += '\t';
            break;
        case '\n':
            word += ' ';
            break;
        default:
            word += c;
        }
    }

    bool bracket(std::string& word, std::string& reason)
    {
        take();  // '['
        const size_t start = pos_;
        int depth = 1;
        while (!at_end() && depth > 0) {
            const char c = take();
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        }
        if (depth > 0) {
            reason = "missing close-bracket";
            return false;
        }
        std::string result;
        if (!substitute_(std::string(text_.substr(start, pos_ - 1 - start)), result)) {
            reason = result;
            return false;
        }
        word += result;
        return true;
    }

    // One character of a bare or quoted word, a backslash escape, or a [command].
    bool substituted(std::string& word, std::string& reason)
    {
        if (peek() == '\\')
            escape(word);
        else if (peek() == '[')
            return bracket(word, reason);
        else
            word += take();
        return true;
    }

    bool read_word(std::string& word, std::string& reason)
    {
        if (peek() == '{') {
            take();
            int depth = 1;
            while (!at_end()) {
                if (continuation()) {
                    take();
                    take();
                    word += ' ';
                    continue;
                }
                const char c = take();
                depth += c == '{' ? 1 : c == '}' ? -1 : 0;
                if (depth == 0)
                    break;
                word += c;
            }
            if (depth > 0) {
                reason = "missing close-brace";
                return false;
            }
        } else if (peek() == '"') {
            take();
            while (!at_end() && peek() != '"')
                if (!substituted(word, reason))
                    return false;
            if (at_end()) {
                reason = "missing close-quote";
                return false;
            }
            take();
        } else {
            while (!word_ends())
                if (!substituted(word, reason))
                    return false;
            return true;
        }
        if (!word_ends()) {
            reason = "extra characters after the close of a word";
            return false;
        }
        return true;
    }

    std::string_view text_;
    const std::function<bool(const std::string&, std::string&)>& substitute_;
    size_t pos_ = 0;
    int line_ = 1;
};

bool parse_number(const std::string& text, uint32_t max, uint32_t& value)
{
    uint64_t number = 0;
    if (!parse_unsigned(text, number) || number > max)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

// Reads the commands of one file (and those it sources) into the configuration.
class ConfigReader {
public:
    ConfigReader(const ConfigFinder& find, AdapterConfig& config) : find_(find), config_(config) {}

    bool read(std::string_view text, const std::string& path, int depth)
    {
        path_ = path;
        depth_ = depth;
        std::function<bool(const std::string&, std::string&)> substitute =
            [this](const std::string& script, std::string& result) { return find_command(script, result); };
        TclReader reader(text, substitute);
        while (true) {
            Command command;
            bool done = false;
            int line = 0;
            std::string reason;
            if (!reader.next(command, done, line, reason))
                return fail_at(path, line, reason);
            if (done)
                return true;
            line_ = command.line;
            if (!run(command.words, depth)) {
                path_ = path;
                return false;
            }
            path_ = path;
        }
    }

    const std::string& error() const { return error_; }

private:
    bool fail_at(const std::string& path, int line, const std::string& reason)
    {
        if (error_.empty())
            error_ = path + ":" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool fail(const std::string& reason) { return fail_at(path_, line_, reason); }

    // `[find NAME]` is the one command substitution these files use.
    bool find_command(const std::string& script, std::string& result)
    {
        std::string_view rest = script;
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
            rest.remove_suffix(1);
        if (rest.substr(0, 5) != "find ") {
            // An included file's Tcl ([info exists ...], [expr ...]) belongs to commands that
            // are skipped there.
            result = depth_ > 0 ? "" : "only [find FILE] is understood, not [" + script + "]";
            return depth_ > 0;
        }
        std::string name(rest.substr(5));
        std::string path, text;
        if (!find_(name, path, text)) {
            result = "cannot find " + name + " in the OpenOCD script folders";
            return false;
        }
        found_[path] = text;
        result = path;
        return true;
    }

    bool number(const std::vector<std::string>& w, size_t i, uint32_t max, uint32_t& value)
    {
        if (i >= w.size())
            return fail(w[0] + ": a value is missing");
        if (!parse_number(w[i], max, value))
            return fail(w[0] + ": bad number '" + w[i] + "'");
        return true;
    }

    bool arguments(const std::vector<std::string>& w, size_t count)
    {
        if (w.size() != count + 1)
            return fail(w[0] + ": takes " + std::to_string(count) + " value" + (count == 1 ? "" : "s"));
        return true;
    }

    bool driver(const std::string& name)
    {
        if (name != "ftdi")
            return fail("driver " + name + ": this tool drives FTDI adapters only (ftdi)");
        return true;
    }

    bool run(std::vector<std::string> w, int depth)
    {
        if (w.empty())
            return true;
        const std::string& head = w[0];
        if (head.rfind("ftdi_", 0) == 0) {  // the old syntax: ftdi_vid_pid is ftdi vid_pid
            w.insert(w.begin() + 1, head.substr(5));
            w[0] = "ftdi";
        } else if (head == "adapter_khz") {
            w = {"adapter", "speed", w.size() > 1 ? w[1] : ""};
        } else if (head == "interface") {
            return arguments(w, 1) && driver(w[1]);
        }
        if (w[0] == "ftdi") {
            if (w.size() < 2)
                return fail("ftdi: a subcommand is missing");
            std::vector<std::string> rest(w.begin() + 1, w.end());
            rest[0] = "ftdi " + rest[0];  // as messages name it
            return ftdi(std::string(w[1]), rest);
        }
        if (w[0] == "adapter" && w.size() >= 2) {
            std::vector<std::string> rest(w.begin() + 1, w.end());
            rest[0] = "adapter " + rest[0];
            if (w[1] == "driver")
                return arguments(rest, 1) && driver(w[2]);
            if (w[1] == "speed") {
                uint32_t khz = 0;
                if (!number(rest, 1, 1'000'000, khz))
                    return false;
                config_.speed_khz = khz;
                return true;
            }
            if (w[1] == "serial")
                return arguments(rest, 1) && (config_.serial = w[2], true);
        }
        if (w[0] == "transport" && w.size() == 3 && w[1] == "select") {
            if (w[2] != "jtag")
                return fail("transport select " + w[2] + ": the file sets the adapter up for " + w[2] +
                            " only; this tool needs JTAG");
            return true;
        }
        if (w[0] == "echo" || w[0] == "reset_config")
            return true;  // a message for OpenOCD's user; the reset lines are the tool's own business
        if (w[0] == "source" || w[0] == "script") {
            if (!arguments(w, 1))
                return false;
            return source(w[1], depth);
        }
        // A file that the adapter file includes may set up its board's target (jtag newtap,
        // target create, set, proc, if, ...): only the adapter commands above count there.
        if (depth > 0)
            return true;
        return fail("'" + w[0] + (w.size() > 1 ? " " + w[1] : "") + "' is not an adapter command this tool knows");
    }

    // A target or board description says nothing of the adapter: one that is not installed
    // (some interface files name a target file no package ships) is left out.
    static bool board_file(std::string_view name)
    {
        for (std::string_view folder : {"target/", "board/", "cpu/", "chip/"})
            if (name.starts_with(folder))
                return true;
        return false;
    }

    bool source(const std::string& name, int depth)
    {
        if (depth >= kSourceDepth)
            return fail("source nested too deeply (a file that sources itself?)");
        std::string path = name;
        std::string text;
        if (auto it = found_.find(name); it != found_.end())
            text = it->second;
        else if (!find_(name, path, text))
            return board_file(name) || fail("cannot read " + name);
        const std::string outer = path_;
        const int outer_line = line_;
        ConfigReader inner(find_, config_);
        inner.found_ = found_;
        const bool ok = inner.read(text, path, depth + 1);
        path_ = outer;
        line_ = outer_line;
        if (!ok)
            error_ = inner.error_;
        return ok;
    }

    bool ftdi(const std::string& sub, const std::vector<std::string>& w)
    {
        uint32_t value = 0;
        if (sub == "vid_pid") {
            if (w.size() < 3 || w.size() % 2 == 0)
                return fail("ftdi vid_pid: takes VID PID pairs");
            config_.ids.clear();
            for (size_t i = 1; i < w.size(); i += 2) {
                uint32_t vendor = 0, product = 0;
                if (!number(w, i, 0xFFFF, vendor) || !number(w, i + 1, 0xFFFF, product))
                    return false;
                config_.ids.push_back({static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)});
            }
            return true;
        }
        if (sub == "channel") {
            if (!arguments(w, 1) || !number(w, 1, 3, value))
                return false;
            if (value > 1)
                return fail("ftdi channel " + w[1] + ": interface " + char('A' + value) +
                            " has no MPSSE engine (channel 0 or 1)");
            config_.channel = static_cast<int>(value);
            return true;
        }
        if (sub == "device_desc")
            return arguments(w, 1) && (config_.device_desc = w[1], true);
        if (sub == "serial")
            return arguments(w, 1) && (config_.serial = w[1], true);
        if (sub == "tdo_sample_edge") {
            if (!arguments(w, 1))
                return false;
            if (w[1] == "falling")
                return fail("ftdi tdo_sample_edge falling: this tool samples TDO on the rising edge only");
            return w[1] == "rising" || fail("ftdi tdo_sample_edge: rising or falling, not '" + w[1] + "'");
        }
        if (sub == "layout_init")
            return layout_init(w);
        if (sub == "layout_signal")
            return layout_signal(w);
        return fail("'ftdi " + sub + "' is not an adapter command this tool knows");
    }

    bool layout_init(const std::vector<std::string>& w)
    {
        uint32_t data = 0, direction = 0;
        if (!arguments(w, 2) || !number(w, 1, 0xFFFF, data) || !number(w, 2, 0xFFFF, direction))
            return false;
        if ((direction & kJtagOutputs) != kJtagOutputs || (direction & kTdo) != 0)
            return fail("ftdi layout_init: TCK, TDI and TMS (ADBUS0, 1, 3) must be outputs and TDO (ADBUS2) an input");
        config_.layout_given = true;
        config_.layout_value = static_cast<uint16_t>(data);
        config_.layout_direction = static_cast<uint16_t>(direction);
        return true;
    }

    bool layout_signal(const std::vector<std::string>& w)
    {
        if (w.size() < 2)
            return fail("ftdi layout_signal: a signal name is missing");
        AdapterSignal s;
        s.name = w[1];
        for (size_t i = 2; i < w.size(); i += 2) {
            const std::string& flag = w[i];
            const bool inverted = flag.size() > 1 && flag[1] == 'n';
            const std::string kind = inverted ? flag.substr(2) : flag.substr(1);
            if (flag.empty() || flag[0] != '-' ||
                (kind != "data" && kind != "oe" && kind != "input" && kind != "alias"))
                return fail("ftdi layout_signal " + s.name + ": unknown option '" + flag + "'");
            if (i + 1 >= w.size())
                return fail("ftdi layout_signal " + s.name + ": " + flag + " needs a value");
            if (kind == "alias") {
                s.alias = w[i + 1];
                s.alias_inverted = inverted;
                continue;
            }
            uint32_t mask = 0;
            if (!number(w, i + 1, 0xFFFF, mask))
                return false;
            uint16_t& field = kind == "data" ? s.data : kind == "oe" ? s.oe : s.input;
            bool& inversion = kind == "data" ? s.data_inverted : kind == "oe" ? s.oe_inverted : s.input_inverted;
            field = static_cast<uint16_t>(mask);
            inversion = inverted;
        }
        // The tool drives nTRST and nSRST; the other signals keep their layout_init levels.
        const bool reset_line = s.name == "nTRST" || s.name == "nSRST";
        if (reset_line && ((s.data | s.oe) & kJtagLines))
            return fail("ftdi layout_signal " + s.name + ": on ADBUS0-3 it would fight TCK, TDI, TDO or TMS");
        if (reset_line && s.data == 0 && s.oe == 0)
            return fail("ftdi layout_signal " + s.name + ": no -data or -oe pin this tool could drive");
        for (AdapterSignal& old : config_.signals)
            if (old.name == s.name) {
                old = s;
                return true;
            }
        config_.signals.push_back(s);
        return true;
    }

    const ConfigFinder& find_;
    int depth_ = 0;  // 0 for the file named, more for the files it includes
    AdapterConfig& config_;
    std::map<std::string, std::string> found_;  // texts that [find] already read, by path
    std::string path_;
    int line_ = 0;
    std::string error_;
};

}  // namespace

const AdapterSignal* AdapterConfig::signal(std::string_view name) const
{
    for (const AdapterSignal& s : signals)
        if (s.name == name)
            return &s;
    return nullptr;
}

bool adapter_config_parse(std::string_view text, const std::string& path, const ConfigFinder& find,
                          AdapterConfig& config, std::string& error)
{
    config = {};
    config.file = path;
    ConfigReader reader(find, config);
    if (!reader.read(text, path, 0)) {
        error = reader.error();
        return false;
    }
    return true;
}

std::string adapter_config_text(const AdapterConfig& c)
{
    std::string text;
    char line[96];
    for (const UsbId& id : c.ids) {
        std::snprintf(line, sizeof line, "vid_pid %04x:%04x\n", id.vendor, id.product);
        text += line;
    }
    text += "channel " + std::to_string(c.channel) + "\n";
    if (!c.device_desc.empty())
        text += "device_desc " + c.device_desc + "\n";
    if (!c.serial.empty())
        text += "serial " + c.serial + "\n";
    if (c.layout_given) {
        std::snprintf(line, sizeof line, "layout_init 0x%04x 0x%04x\n", c.layout_value, c.layout_direction);
        text += line;
    }
    for (const AdapterSignal& s : c.signals) {
        text += "signal " + s.name;
        const struct {
            const char* name;
            uint16_t mask;
            bool inverted;
        } fields[] = {
            {"data", s.data, s.data_inverted}, {"oe", s.oe, s.oe_inverted}, {"input", s.input, s.input_inverted}};
        for (const auto& f : fields)
            if (f.mask != 0) {
                std::snprintf(line, sizeof line, " %s%s=0x%04x", f.inverted ? "n" : "", f.name, f.mask);
                text += line;
            }
        if (!s.alias.empty())
            text += std::string(" ") + (s.alias_inverted ? "nalias=" : "alias=") + s.alias;
        text += "\n";
    }
    if (c.speed_khz != 0)
        text += "speed_khz " + std::to_string(c.speed_khz) + "\n";
    return text;
}
