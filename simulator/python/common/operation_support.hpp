// Helpers shared by the psspy operations: reading parsed arguments into
// the core's optional fields, requiring a case in memory, and reporting a
// refusal on the progress output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/call_arguments.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim::python {

// Integers beyond the range of int are clamped, so that the range checks of
// the operation refuse them with a code instead of wrapping around.
OptionalInt int_arg(const CallArguments& a, std::string_view name);
OptionalInt int_arg(const CallArguments& a, std::string_view array, int position);
OptionalReal real_arg(const CallArguments& a, std::string_view name);
OptionalReal real_arg(const CallArguments& a, std::string_view array, int position);
OptionalText text_arg(const CallArguments& a, std::string_view name);
OptionalText text_arg(const CallArguments& a, std::string_view array, int position);

// A bus-number argument the call cannot do without; its absence is an
// argument error (TypeError), as for any required parameter.
int required_int(const CallArguments& a, std::string_view function, std::string_view name);
// A name argument the call cannot do without (a DC line or FACTS device).
std::string required_text(const CallArguments& a, std::string_view function, std::string_view name);

// Owners from consecutive integer positions and their fractions from
// consecutive real positions.
OwnershipData ownership_args(const CallArguments& a, std::string_view int_array, int first_owner,
                             std::string_view real_array, int first_fraction);
RatingsData ratings_args(const CallArguments& a);

// Writes "<function>: <message>" to the progress output when the result is
// a refusal; returns the code.
int finish(std::string_view function, const OperationResult& result);
int report_refusal(std::string_view function, int code, std::string_view message);

// True when a case is in memory; otherwise reports the refusal.
bool case_in_memory(std::string_view function);
inline constexpr int kNoCaseCode = static_cast<int>(ElementCode::kNoCase);

// Parameter lists are declared with these shorthands.
inline Param int_param(std::string name) {
    return Param{std::move(name), ParamKind::Integer, 1};
}
inline Param real_param(std::string name) {
    return Param{std::move(name), ParamKind::Real, 1};
}
inline Param text_param(std::string name) {
    return Param{std::move(name), ParamKind::Text, 1};
}
inline Param int_array(std::string name, int size) {
    return Param{std::move(name), ParamKind::IntegerArray, size};
}
inline Param real_array(std::string name, int size) {
    return Param{std::move(name), ParamKind::RealArray, size};
}
inline Param text_array(std::string name, int size) {
    return Param{std::move(name), ParamKind::TextArray, size};
}

}  // namespace velquin::sim::python

namespace velquin::sim::python {

// Registers an operation taking the simulator's positional order and
// keywords; `body` receives the parsed arguments. The docstring shows the
// signature.
template <class Body>
void def_operation(py::module_& m, const char* name, std::vector<Param> params, Body body,
                   const char* summary) {
    std::string doc = std::string(name) + "(";
    for (std::size_t i = 0; i < params.size(); ++i) doc += (i == 0 ? "" : ", ") + params[i].name;
    doc += ")\n\n" + std::string(summary);
    m.def(
        name,
        [name, params = std::move(params), body](const py::args& args, const py::kwargs& kwargs) {
            CallArguments a(name, params, args, kwargs);
            return body(a);
        },
        py::doc(doc.c_str()));  // pybind11 copies the text
}

}  // namespace velquin::sim::python
