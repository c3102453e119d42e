#include "formats/number_text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace velquin::sim {

std::optional<double> parse_real(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars accepts "inf" and "nan"; a number must start with a digit
    // or a decimal point followed by a digit.
    if (text.empty()) return std::nullopt;
    const char first = text.front();
    const bool digit_first = first >= '0' && first <= '9';
    const bool point_first = first == '.' && text.size() > 1 && text[1] >= '0' && text[1] <= '9';
    if (!digit_first && !point_first) return std::nullopt;

    // Fortran writers use D as the exponent letter.
    std::array<char, 64> buffer{};
    std::string_view digits = text;
    const std::size_t d = text.find_first_of("dD");
    if (d != std::string_view::npos) {
        if (text.size() >= buffer.size()) return std::nullopt;
        for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = i == d ? 'e' : text[i];
        digits = std::string_view(buffer.data(), text.size());
    }
    double value = 0.0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, std::chars_format::general);
    if (ptr != end) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone when out of range; strtod tells
        // underflow (reads as zero or a tiny number) from overflow (unusable).
        const std::string copy(digits);
        value = std::strtod(copy.c_str(), nullptr);
        if (!std::isfinite(value)) return std::nullopt;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<long long> parse_integer(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string_view digits = text;
    if (digits.front() == '+') digits.remove_prefix(1);
    long long value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec == std::errc() && ptr == end) return value;
    const auto real = parse_real(text);
    if (!real || *real != std::floor(*real) || std::fabs(*real) > 9.0e15) return std::nullopt;
    return static_cast<long long>(*real);
}

void append_real(std::string& out, double value) {
    if (value == 0.0) value = 0.0;  // no "-0"
    std::array<char, 32> buffer{};
    const auto [ptr, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string_view text(buffer.data(), static_cast<std::size_t>(ptr - buffer.data()));
    out += text;
    // Keep reals recognisable as reals for readers that care ("1" -> "1.0").
    if (text.find_first_of(".eEn") == std::string_view::npos) out += ".0";
}

std::string format_real(double value) {
    std::string out;
    append_real(out, value);
    return out;
}

}  // namespace velquin::sim
