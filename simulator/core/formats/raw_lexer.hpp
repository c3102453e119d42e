// Lexical layer of RAW files: physical lines, comments, quoting and field
// splitting. Tokens point into the file's text, so nothing is copied and
// the bytes of names (Latin-1, UTF-8 or anything else) pass through as
// they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format_error.hpp"

namespace velquin::sim {

struct RawToken {
    std::string_view text;  // without quotes; empty for an empty field
    bool quoted = false;
    bool empty() const { return !quoted && text.empty(); }
};

// Splits the data part of a line into fields: commas and/or blanks and
// TABs separate, two commas with nothing between give an empty field, an
// unquoted '/' ends the data, quotes (' or ") protect everything up to the
// same quote character. Returns false when a quote is not closed.
bool split_raw_fields(std::string_view line, std::vector<RawToken>& out);

// The file's lines, with the line-end characters (LF, CRLF, stray CRs
// before the LF) removed.
class RawLineCursor {
public:
    explicit RawLineCursor(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ >= text_.size(); }
    // The next physical line; `number` is its 1-based line number.
    std::string_view next(int& number);
    // Line number of the last line returned (0 before the first).
    int line() const { return line_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 0;
};

// True for lines that carry no data: blank, only a comment, or a column
// heading ("@!").
bool is_raw_comment_line(std::string_view line);

}  // namespace velquin::sim
