#include "formats/raw_lexer.hpp"

namespace velquin::sim {

namespace {
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r';
}
}  // namespace

bool split_raw_fields(std::string_view line, std::vector<RawToken>& out) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = line.size();
    bool field_since_comma = false;
    while (true) {
        while (i < n && is_blank(line[i])) ++i;
        if (i >= n) break;
        const char c = line[i];
        if (c == ',') {
            if (!field_since_comma) out.push_back(RawToken{});
            field_since_comma = false;
            ++i;
            continue;
        }
        if (c == '/') break;
        if (c == '\'' || c == '"') {
            const std::size_t close = line.find(c, i + 1);
            if (close == std::string_view::npos) return false;
            out.push_back(RawToken{line.substr(i + 1, close - i - 1), true});
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < n && !is_blank(line[i]) && line[i] != ',' && line[i] != '/') ++i;
            out.push_back(RawToken{line.substr(start, i - start), false});
        }
        field_since_comma = true;
    }
    return true;
}

std::string_view RawLineCursor::next(int& number) {
    const std::size_t end = text_.find('\n', pos_);
    std::string_view line =
        text_.substr(pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    number = ++line_;
    return line;
}

bool is_raw_comment_line(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) return true;
    if (line[i] == '/') return true;
    return line[i] == '@' && i + 1 < line.size() && line[i + 1] == '!';
}

}  // namespace velquin::sim
