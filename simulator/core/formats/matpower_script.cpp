#include "formats/matpower_script.hpp"

#include <cmath>
#include <limits>

#include "formats/number_text.hpp"

namespace velquin::sim {

namespace {

bool is_identifier_start(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_identifier_char(char c) {
    return is_identifier_start(c) || (c >= '0' && c <= '9');
}
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

class ScriptParser {
public:
    ScriptParser(std::string_view text, const std::string& source, ImportReport* report)
        : text_(text), source_(source), report_(report) {}

    std::vector<MatpowerAssignment> parse() {
        std::vector<MatpowerAssignment> result;
        while (true) {
            skip_blank_lines_and_comments();
            if (at_end()) break;
            const int statement_line = line_;
            const std::size_t statement_start = pos_;
            if (!is_identifier_start(peek())) {
                skip_statement();
                warn(statement_line, "statement not understood, skipped: " + excerpt(statement_start));
                continue;
            }
            std::string path = read_identifier_path();
            if (path == "function") {
                skip_to_line_end();
                continue;
            }
            skip_blanks();
            if (peek() != '=' || peek(1) == '=') {
                // "end", "return" and the like end nothing we need.
                const bool keyword = path == "end" || path == "return" || path == "endfunction";
                skip_statement();
                if (!keyword)
                    warn(statement_line, "statement not understood, skipped: " + excerpt(statement_start));
                continue;
            }
            ++pos_;  // '='
            skip_blanks();
            MatpowerAssignment assignment;
            const std::size_t dot = path.rfind('.');
            assignment.target = dot == std::string::npos ? path : path.substr(dot + 1);
            assignment.value.line = statement_line;
            if (!parse_value(assignment.value)) {
                skip_statement();
                warn(statement_line,
                     "value of '" + path + "' is not a plain number, text, matrix or cell array; skipped");
                continue;
            }
            end_statement();
            result.push_back(std::move(assignment));
        }
        return result;
    }

private:
    bool at_end() const { return pos_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }

    [[noreturn]] void fail(int line, const std::string& field, const std::string& problem) const {
        throw FormatError(source_, line, field, problem);
    }
    void warn(int line, const std::string& message) const {
        if (report_ != nullptr)
            report_->warnings.push_back(source_ + ":" + std::to_string(line) + ": " + message);
    }

    std::string excerpt(std::size_t start) const {
        std::size_t end = text_.find('\n', start);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view piece = text_.substr(start, std::min<std::size_t>(end - start, 40));
        while (!piece.empty() && is_blank(piece.back())) piece.remove_suffix(1);
        return std::string(piece);
    }

    void newline() {
        ++pos_;
        ++line_;
    }
    void skip_blanks() {
        while (!at_end() && is_blank(peek())) ++pos_;
    }
    void skip_to_line_end() {
        while (!at_end() && peek() != '\n') ++pos_;
    }
    bool at_comment() const { return peek() == '%' || peek() == '#'; }

    void skip_blank_lines_and_comments() {
        while (!at_end()) {
            const char c = peek();
            if (is_blank(c) || c == ';' || c == ',') {
                ++pos_;
            } else if (c == '\n') {
                newline();
            } else if (at_comment()) {
                skip_to_line_end();
            } else {
                break;
            }
        }
    }

    std::string read_identifier_path() {
        const std::size_t start = pos_;
        while (!at_end() && (is_identifier_char(peek()) || (peek() == '.' && is_identifier_start(peek(1)))))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    // Skips to the end of the current statement, stepping over bracketed
    // parts and quoted text so that a multi-line matrix is skipped whole.
    void skip_statement() {
        int depth = 0;
        while (!at_end()) {
            const char c = peek();
            if (c == '\n') {
                if (depth == 0) return;
                newline();
                continue;
            }
            // A quote after a blank, '=', a bracket or a separator opens
            // text (elsewhere it is MATLAB's transpose operator).
            const char before = pos_ > 0 ? text_[pos_ - 1] : ' ';
            if ((c == '\'' || c == '"') &&
                (is_blank(before) || before == '=' || before == '(' || before == '[' || before == '{' ||
                 before == ',' || before == ';')) {
                ++pos_;
                while (!at_end() && peek() != c && peek() != '\n') ++pos_;
                if (!at_end() && peek() == c) ++pos_;
                continue;
            }
            if (at_comment()) {
                skip_to_line_end();
                continue;
            }
            if (c == '[' || c == '{' || c == '(') ++depth;
            if ((c == ']' || c == '}' || c == ')') && depth > 0) --depth;
            if (c == ';' && depth == 0) {
                ++pos_;
                return;
            }
            ++pos_;
        }
    }

    // After a value: an optional ';' or ',' then only blanks or a comment
    // up to the line end.
    void end_statement() {
        skip_blanks();
        if (peek() == ';' || peek() == ',') ++pos_;
        skip_blanks();
        if (at_end() || peek() == '\n' || at_comment()) return;
        const int statement_line = line_;
        const std::size_t start = pos_;
        skip_statement();
        warn(statement_line, "text after the value ignored: " + excerpt(start));
    }

    bool parse_value(MatpowerValue& value) {
        const char c = peek();
        if (c == '[') {
            value.kind = MatpowerValue::Kind::Matrix;
            parse_matrix(value);
            return true;
        }
        if (c == '{') {
            value.kind = MatpowerValue::Kind::Cell;
            parse_cell(value);
            return true;
        }
        if (c == '\'' || c == '"') {
            value.kind = MatpowerValue::Kind::Text;
            value.text = read_quoted();
            return true;
        }
        const std::size_t start = pos_;
        const auto number = read_number();
        if (!number) {
            pos_ = start;
            return false;
        }
        skip_blanks();
        // A scalar followed by an operator is an expression we do not evaluate.
        if (!at_end() && peek() != ';' && peek() != ',' && peek() != '\n' && !at_comment()) {
            pos_ = start;
            return false;
        }
        value.kind = MatpowerValue::Kind::Number;
        value.number = *number;
        return true;
    }

    // A number token at the current position: digits, sign, exponent, or
    // Inf / NaN. Leaves pos_ after it; nothing when there is no number.
    std::optional<double> read_number() {
        const std::size_t start = pos_;
        std::size_t end = pos_;
        if (end < text_.size() && (text_[end] == '+' || text_[end] == '-')) ++end;
        const std::size_t body = end;
        while (end < text_.size()) {
            const char c = text_[end];
            const bool exponent_sign =
                (c == '+' || c == '-') && end > body && (text_[end - 1] == 'e' || text_[end - 1] == 'E');
            if ((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || exponent_sign ||
                is_identifier_char(c))
                ++end;
            else
                break;
        }
        const std::string_view token = text_.substr(start, end - start);
        const std::string_view word = text_.substr(body, end - body);
        const bool negative = body > start && text_[start] == '-';
        std::optional<double> value;
        if (word == "Inf" || word == "inf") {
            value =
                negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        } else if (word == "NaN" || word == "nan") {
            value = std::numeric_limits<double>::quiet_NaN();
        } else {
            value = parse_real(token);
        }
        if (value) pos_ = end;
        return value;
    }

    std::string read_quoted() {
        const char quote = peek();
        const int start_line = line_;
        ++pos_;
        std::string result;
        while (true) {
            if (at_end() || peek() == '\n') fail(start_line, "", "text not closed by a quote");
            const char c = peek();
            if (c == quote) {
                if (peek(1) == quote) {  // doubled quote stands for one
                    result += quote;
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return result;
            }
            result += c;
            ++pos_;
        }
    }

    // Inside brackets: blanks and commas separate elements; ';' and line
    // ends separate rows; "..." continues a row on the next line.
    template <typename Element>
    void parse_rows(char close, Element&& element, const char* what) {
        const int open_line = line_;
        ++pos_;  // opening bracket
        bool row_open = false;
        auto end_row = [&]() { row_open = false; };
        while (true) {
            if (at_end()) fail(open_line, "", std::string(what) + " not closed");
            const char c = peek();
            if (is_blank(c) || c == ',') {
                ++pos_;
            } else if (c == '\n') {
                newline();
                end_row();
            } else if (c == ';') {
                ++pos_;
                end_row();
            } else if (at_comment()) {
                skip_to_line_end();
            } else if (c == '.' && peek(1) == '.' && peek(2) == '.') {
                skip_to_line_end();
                if (!at_end()) newline();
            } else if (c == close) {
                ++pos_;
                return;
            } else {
                element(!row_open);
                row_open = true;
            }
        }
    }

    void parse_matrix(MatpowerValue& value) {
        parse_rows(
            ']',
            [&](bool new_row) {
                if (new_row) value.rows.push_back(MatpowerRow{line_, {}});
                const std::size_t start = pos_;
                const auto number = read_number();
                if (!number || (!at_end() && !is_blank(peek()) && peek() != ',' && peek() != ';' &&
                                peek() != '\n' && peek() != ']' && !at_comment() && peek() != '.')) {
                    pos_ = start;
                    fail(line_, "", "not a number: '" + excerpt(start) + "'");
                }
                value.rows.back().values.push_back(*number);
            },
            "matrix");
    }

    void parse_cell(MatpowerValue& value) {
        parse_rows(
            '}',
            [&](bool) {
                const int entry_line = line_;
                const char c = peek();
                if (c == '\'' || c == '"') {
                    value.cells.push_back(read_quoted());
                } else {
                    const std::size_t start = pos_;
                    const auto number = read_number();
                    if (!number)
                        fail(line_, "", "cell entry is neither text nor a number: '" + excerpt(start) + "'");
                    value.cells.emplace_back(text_.substr(start, pos_ - start));
                }
                value.cell_lines.push_back(entry_line);
            },
            "cell array");
    }

    std::string_view text_;
    const std::string& source_;
    ImportReport* report_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

std::vector<MatpowerAssignment> parse_matpower_script(std::string_view text, const std::string& source,
                                                      ImportReport* report) {
    return ScriptParser(text, source, report).parse();
}

}  // namespace velquin::sim
