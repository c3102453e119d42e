// Argument handling shared by every simulator operation exposed to Python.
//
// An operation declares its parameters in the simulator's positional order.
// Scalars are passed by name or position; array parameters (intgar, realar,
// ratings, ...) may be passed whole as a sequence or element by element as
// name plus 1-based position (intgar1, realar12). Anything not passed stays
// absent, so a change operation touches only what the caller gave. An
// unknown name, a value of the wrong type or a value given twice raises
// TypeError, as the host does for its own functions.
#pragma once

#include <pybind11/pybind11.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velquin::sim::python {

namespace py = pybind11;

enum class ParamKind { Integer, Real, Text, IntegerArray, RealArray, TextArray };

struct Param {
    std::string name;
    ParamKind kind;
    int size = 1;  // element count of an array parameter
};

class CallArguments {
public:
    CallArguments(std::string_view function, const std::vector<Param>& params, const py::args& args,
                  const py::kwargs& kwargs);

    bool has(std::string_view name) const;
    bool has(std::string_view array, int position) const;

    std::optional<long long> integer(std::string_view name) const;
    std::optional<long long> integer(std::string_view array, int position) const;
    std::optional<double> real(std::string_view name) const;
    std::optional<double> real(std::string_view array, int position) const;
    std::optional<std::string> text(std::string_view name) const;
    std::optional<std::string> text(std::string_view array, int position) const;

    long long integer_or(std::string_view name, long long fallback) const;
    double real_or(std::string_view name, double fallback) const;

    // Names of everything that was passed, scalars and array elements alike
    // (array elements as name plus position).
    std::vector<std::string> passed_names() const;

private:
    using Value = std::variant<long long, double, std::string>;

    void bind(const Param& param, const py::handle& value, bool whole_array);
    void store(const std::string& key, const Param& param, ParamKind element_kind, const py::handle& value);

    std::string function_;
    std::map<std::string, Value, std::less<>> values_;
};

// Converts one Python value; raise TypeError naming the function and
// argument when the value has the wrong type.
long long to_integer(std::string_view function, std::string_view argument, const py::handle& value);
double to_real(std::string_view function, std::string_view argument, const py::handle& value);
std::string to_text(std::string_view function, std::string_view argument, const py::handle& value);

}  // namespace velquin::sim::python
