#include "loadflow/solution_parameters.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace velquin::sim::loadflow {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::optional<double> solution_parameter(const Case& c, std::string_view record, std::string_view key) {
    for (const std::string& line : c.system_wide.lines) {
        std::string_view rest(line);
        const auto comma = rest.find(',');
        if (comma == std::string_view::npos || !equal_nocase(trim(rest.substr(0, comma)), record)) continue;
        rest.remove_prefix(comma + 1);
        while (!rest.empty()) {
            const auto next = rest.find(',');
            const std::string_view item = trim(rest.substr(0, next));
            rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
            const auto eq = item.find('=');
            if (eq == std::string_view::npos || !equal_nocase(trim(item.substr(0, eq)), key)) continue;
            const std::string text(trim(item.substr(eq + 1)));
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (end != text.c_str() && *end == '\0') return value;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace velquin::sim::loadflow
