// SPDX-License-Identifier: Apache-2.0
#include "targets/bsdl_tokens.h"

#include <cctype>

namespace {

bool word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Whether `entity NAME is` starts at `at`.
bool entity_header(std::string_view text, size_t at)
{
    size_t i = at + 6;
    auto skip_blanks = [&] {
        while (i < text.size() && blank(text[i]))
            ++i;
    };
    skip_blanks();
    const size_t name = i;
    while (i < text.size() && word_char(text[i]))
        ++i;
    if (i == name)
        return false;
    skip_blanks();
    return i + 2 <= text.size() && std::tolower(static_cast<unsigned char>(text[i])) == 'i' &&
           std::tolower(static_cast<unsigned char>(text[i + 1])) == 's' &&
           (i + 2 == text.size() || !word_char(text[i + 2]));
}

// Where the first `entity NAME is` outside a comment starts, and its line.
size_t entity_start(std::string_view text, int& line)
{
    line = 1;
    bool comment = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            comment = false;
        } else if (!comment && c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            comment = true;
        } else if (!comment && (i == 0 || !word_char(text[i - 1])) && i + 6 <= text.size()) {
            size_t k = 0;
            while (k < 6 && std::tolower(static_cast<unsigned char>(text[i + k])) == "entity"[k])
                ++k;
            if (k == 6 && entity_header(text, i))
                return i;
        }
    }
    return text.size();
}

// Joins "a" & "b" & ... into one string token.
std::vector<Token> join_strings(std::vector<Token> tokens)
{
    std::vector<Token> joined;
    for (size_t i = 0; i < tokens.size(); ++i) {
        Token& t = tokens[i];
        if (t.kind == TokenKind::string && !joined.empty() && joined.back().kind == TokenKind::symbol &&
            joined.back().text == "&" && joined.size() >= 2 && joined[joined.size() - 2].kind == TokenKind::string) {
            joined.pop_back();
            Token& into = joined.back();
            into.text += t.text;
            into.lines.insert(into.lines.end(), t.lines.begin(), t.lines.end());
            continue;
        }
        joined.push_back(std::move(t));
    }
    return joined;
}

}  // namespace

std::vector<Token> bsdl_tokens(std::string_view text)
{
    int line = 1;
    size_t i = entity_start(text, line);
    std::vector<Token> tokens;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (blank(c)) {
            ++i;
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '"') {
            Token t{TokenKind::string, "", {}, line};
            for (++i; i < text.size() && text[i] != '"' && text[i] != '\n'; ++i) {
                t.text += text[i];
                t.lines.push_back(line);
            }
            if (i < text.size() && text[i] == '"')
                ++i;
            tokens.push_back(std::move(t));
        } else if (word_char(c)) {
            Token t{std::isdigit(static_cast<unsigned char>(c)) ? TokenKind::number : TokenKind::word, "", {}, line};
            while (i < text.size() && word_char(text[i]))
                t.text += text[i++];
            tokens.push_back(std::move(t));
        } else {
            const bool assign = c == ':' && i + 1 < text.size() && text[i + 1] == '=';
            tokens.push_back({TokenKind::symbol, assign ? ":=" : std::string(1, c), {}, line});
            i += assign ? 2 : 1;
        }
    }
    tokens.push_back({TokenKind::end, "end of file", {}, line});
    return join_strings(std::move(tokens));
}

std::vector<Token> bsdl_string_items(const Token& string)
{
    const std::string& s = string.text;
    std::vector<Token> items;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        const int line = string.lines[i];
        if (blank(c)) {
            ++i;
        } else if (word_char(c) || c == '/') {
            Token t{std::isdigit(static_cast<unsigned char>(c)) ? TokenKind::number : TokenKind::word, "", {}, line};
            while (i < s.size() && (word_char(s[i]) || s[i] == '/'))
                t.text += s[i++];
            items.push_back(std::move(t));
        } else {
            items.push_back({TokenKind::symbol, std::string(1, c), {}, line});
            ++i;
        }
    }
    items.push_back({TokenKind::end, "end of string", {}, string.lines.empty() ? string.line : string.lines.back()});
    return items;
}
