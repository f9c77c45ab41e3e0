// SPDX-License-Identifier: Apache-2.0
// The statements of a BSDL file: entity, generic, port list, use clauses, constants and
// attributes; the attributes the tool needs are kept, every other statement is skipped.
#include <cctype>

#include "platform/regular_file.h"
#include "targets/bsdl_parse.h"

namespace {

bool is_word(const Token& t, const char* word) { return t.kind == TokenKind::word && bsdl_upper(t.text) == word; }
bool is_symbol(const Token& t, const char* symbol) { return t.kind == TokenKind::symbol && t.text == symbol; }

std::string shown(const Token& t)
{
    if (t.kind == TokenKind::end)
        return t.text;
    if (t.kind == TokenKind::string)
        return "a string";
    return "'" + t.text + "'";
}

class StatementReader {
public:
    StatementReader(std::vector<Token> tokens, const BsdlErrorSink& sink) : tokens_(std::move(tokens)), sink_(sink) {}

    bool read(BsdlStatements& s, BsdlDevice& device)
    {
        if (!expect_word("ENTITY") || !name(device.entity) || !expect_word("IS"))
            return false;
        for (;;) {
            const Token& t = next();
            if (t.kind == TokenKind::end)
                return sink_.fail(t.line, "expected 'end " + device.entity + ";', found the end of the file");
            if (is_word(t, "END")) {
                s.end_line = t.line;
                return true;
            }
            const bool ok = is_word(t, "PORT")        ? ports(s)
                            : is_word(t, "ATTRIBUTE") ? attribute(s, device)
                            : is_word(t, "GENERIC")   ? skip_statement(true)
                                                      : skip_statement(false);
            if (!ok)
                return false;
        }
    }

private:
    const Token& next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
    const Token& peek() const { return tokens_[at_]; }

    bool expected(const char* what, const Token& t)
    {
        return sink_.fail(t.line, std::string("expected ") + what + ", found " + shown(t));
    }
    bool expect_word(const char* word)
    {
        const Token& t = next();
        return is_word(t, word) || expected((std::string("'") + word + "'").c_str(), t);
    }
    bool expect_symbol(const char* symbol)
    {
        const Token& t = next();
        return is_symbol(t, symbol) || expected((std::string("'") + symbol + "'").c_str(), t);
    }
    bool name(std::string& into)
    {
        const Token& t = next();
        if (t.kind != TokenKind::word)
            return expected("a name", t);
        into = t.text;
        return true;
    }
    bool number(int& into)
    {
        const Token& t = next();
        if (t.kind != TokenKind::number || t.text.size() > 6 ||
            t.text.find_first_not_of("0123456789") != std::string::npos)
            return expected("a number", t);
        into = std::stoi(t.text);
        return true;
    }

    // Up to and with the next ';' outside parentheses; `parenthesised` first wants a '('.
    bool skip_statement(bool parenthesised)
    {
        if (parenthesised && !is_symbol(peek(), "("))
            return expected("'('", peek());
        int depth = 0;
        for (;;) {
            const Token& t = next();
            if (t.kind == TokenKind::end)
                return expected("';'", t);
            depth += is_symbol(t, "(") ? 1 : is_symbol(t, ")") ? -1 : 0;
            if (depth == 0 && is_symbol(t, ";"))
                return true;
        }
    }

    // port ( a, b : in bit; d : inout bit_vector (0 to 15) );
    bool ports(BsdlStatements& s)
    {
        if (!expect_symbol("("))
            return false;
        for (;;) {
            std::vector<std::string> names(1);
            if (!name(names.back()))
                return false;
            while (is_symbol(peek(), ",")) {
                next();
                names.emplace_back();
                if (!name(names.back()))
                    return false;
            }
            if (!expect_symbol(":"))
                return false;
            const Token& mode = next();
            const std::string m = bsdl_upper(mode.text);
            if (mode.kind != TokenKind::word ||
                (m != "IN" && m != "OUT" && m != "INOUT" && m != "BUFFER" && m != "LINKAGE"))
                return expected("a port mode (in, out, inout, buffer, linkage)", mode);
            std::string type;
            if (!name(type))
                return false;
            BsdlPort port{"", false, 0, 0, m == "LINKAGE"};
            if (is_symbol(peek(), "(")) {
                next();
                port.vector = true;
                if (!number(port.first))
                    return false;
                const Token& direction = next();
                if (!is_word(direction, "TO") && !is_word(direction, "DOWNTO"))
                    return expected("'to' or 'downto'", direction);
                if (!number(port.last) || !expect_symbol(")"))
                    return false;
                if (is_word(direction, "TO") != (port.first <= port.last))
                    return sink_.fail(direction.line, "range of port " + names.front() + " runs the wrong way for '" +
                                                          direction.text + "'");
            }
            for (const std::string& n : names) {
                port.name = n;
                s.ports.push_back(port);
            }
            const Token& t = next();
            if (is_symbol(t, ")"))
                return expect_symbol(";");
            if (!is_symbol(t, ";"))
                return expected("';' or ')'", t);
        }
    }

    // attribute NAME of ENTITY : entity is VALUE; declarations and other attributes are skipped.
    bool attribute(BsdlStatements& s, BsdlDevice& device)
    {
        const Token& name_token = next();
        const std::string attribute = bsdl_upper(name_token.text);
        if (!is_word(peek(), "OF"))
            return skip_statement(false);
        next();
        std::string of, kind;
        if (!name(of) || !expect_symbol(":") || !name(kind) || !expect_word("IS"))
            return false;
        const Token& value = peek();
        if (attribute == "INSTRUCTION_LENGTH" || attribute == "BOUNDARY_LENGTH") {
            int& into = attribute == "INSTRUCTION_LENGTH" ? device.instruction_length : device.boundary_length;
            if (!number(into))
                return false;
            if (into <= 0)
                return sink_.fail(value.line, attribute + " must be at least 1");
            return expect_symbol(";");
        }
        Token* string = attribute == "INSTRUCTION_OPCODE"    ? &s.opcodes
                        : attribute == "INSTRUCTION_CAPTURE" ? &s.capture
                        : attribute == "IDCODE_REGISTER"     ? &s.idcode
                        : attribute == "BOUNDARY_REGISTER"   ? &s.boundary
                                                             : nullptr;
        if (attribute == "DESIGN_WARNING" && value.kind == TokenKind::string) {
            device.design_warnings.push_back(next().text);
            return expect_symbol(";");
        }
        if (string == nullptr)
            return skip_statement(false);
        if (value.kind != TokenKind::string)
            return expected("a string", value);
        *string = next();
        return expect_symbol(";");
    }

    std::vector<Token> tokens_;
    size_t at_ = 0;
    const BsdlErrorSink& sink_;
};

}  // namespace

std::string bsdl_upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool bsdl_read(std::string_view text, const std::string& file, BsdlDevice& device, std::string& error)
{
    const BsdlErrorSink sink{file, error};
    BsdlStatements statements;
    device = BsdlDevice{};
    StatementReader reader(bsdl_tokens(text), sink);
    return reader.read(statements, device) && bsdl_read_strings(statements, sink, device);
}

bool bsdl_read_file(const char* path, BsdlDevice& device, std::string& error)
{
    std::string text;
    if (const FileRead read = read_regular_file(path, text); read != FileRead::ok) {
        error = std::string("Cannot read the BSDL file ") + path + file_read_reason(read);
        return false;
    }
    return bsdl_read(text, path, device, error);
}
