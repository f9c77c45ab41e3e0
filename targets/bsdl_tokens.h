// SPDX-License-Identifier: Apache-2.0
// The words of a BSDL file: identifiers, numbers, strings and punctuation, with their lines.
// Comments, CR and tabs are white space; strings joined by & become one, each character keeping
// the line it was written on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class TokenKind { word, number, string, symbol, end };

struct Token {
    TokenKind kind = TokenKind::end;
    std::string text;        // a word as written; a string's characters without the quotes
    std::vector<int> lines;  // per character of a string
    int line = 0;
};

// Tokens from the first "entity" on; text before it (a tool's header, a title) is skipped.
std::vector<Token> bsdl_tokens(std::string_view text);

// The items inside an attribute's string: words (letters, digits, _ and /), numbers and
// single symbols, each with its line.
std::vector<Token> bsdl_string_items(const Token& string);
