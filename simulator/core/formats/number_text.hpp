// Conversion between numbers and their text in exchange files: tolerant
// parsing of what other tools write, and shortest exact formatting so that
// a value written and read again is the same double.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velquin::sim {

// A real in fixed or exponent form, optionally signed ("1.", ".5", "+2",
// "1.0E-3", "1d3"). Returns nothing when the text is not entirely a number.
// Infinity and NaN are not accepted here; callers that allow them check
// for them first.
std::optional<double> parse_real(std::string_view text);

// An integer; a real with an integral value ("3.0", "-0.") is accepted.
std::optional<long long> parse_integer(std::string_view text);

// The shortest text that reads back as exactly `value`.
std::string format_real(double value);
void append_real(std::string& out, double value);

}  // namespace velquin::sim
