#include "common/call_arguments.hpp"

#include <cmath>
#include <limits>

namespace velquin::sim::python {

namespace {

std::string describe_type(const py::handle& value) {
    return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

[[noreturn]] void type_error(std::string_view function, std::string_view argument, std::string_view expected,
                             const py::handle& value) {
    throw py::type_error(std::string(function) + "() argument '" + std::string(argument) + "' must be " +
                         std::string(expected) + ", not " + describe_type(value));
}

ParamKind element_kind(ParamKind kind) {
    switch (kind) {
        case ParamKind::IntegerArray:
            return ParamKind::Integer;
        case ParamKind::RealArray:
            return ParamKind::Real;
        case ParamKind::TextArray:
            return ParamKind::Text;
        default:
            return kind;
    }
}

bool is_array(ParamKind kind) {
    return kind == ParamKind::IntegerArray || kind == ParamKind::RealArray || kind == ParamKind::TextArray;
}

std::string element_key(std::string_view array, int position) {
    return std::string(array) + std::to_string(position);
}

// Splits "intgar12" into ("intgar", 12) when the name ends in digits.
std::optional<std::pair<std::string, int>> split_indexed(std::string_view name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == name.size() || digits == 0) return std::nullopt;
    if (name[digits] == '0') return std::nullopt;
    int position = 0;
    for (std::size_t i = digits; i < name.size(); ++i) {
        position = position * 10 + (name[i] - '0');
        if (position > 1000) return std::nullopt;
    }
    return std::make_pair(std::string(name.substr(0, digits)), position);
}

}  // namespace

long long to_integer(std::string_view function, std::string_view argument, const py::handle& value) {
    if (PyFloat_Check(value.ptr())) {
        const double d = PyFloat_AsDouble(value.ptr());
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) return static_cast<long long>(d);
        type_error(function, argument, "an integer", value);
    }
    if (PyUnicode_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        type_error(function, argument, "an integer", value);
    py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    // A huge integer is a value out of range, not a wrong type: saturate and
    // let the operation's range checks refuse it with a code.
    if (overflow > 0) return std::numeric_limits<long long>::max();
    if (overflow < 0) return std::numeric_limits<long long>::min();
    return result;
}

double to_real(std::string_view function, std::string_view argument, const py::handle& value) {
    if (PyUnicode_Check(value.ptr()) || PyComplex_Check(value.ptr()) || PyBytes_Check(value.ptr()))
        type_error(function, argument, "a real number", value);
    if (!PyFloat_Check(value.ptr()) && !PyIndex_Check(value.ptr()) &&
        !PyObject_HasAttrString(value.ptr(), "__float__"))
        type_error(function, argument, "a real number", value);
    const double result = PyFloat_AsDouble(value.ptr());
    if (result == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return result;
}

std::string to_text(std::string_view function, std::string_view argument, const py::handle& value) {
    if (!PyUnicode_Check(value.ptr())) type_error(function, argument, "a string", value);
    return value.cast<std::string>();
}

CallArguments::CallArguments(std::string_view function, const std::vector<Param>& params,
                             const py::args& args, const py::kwargs& kwargs)
    : function_(function) {
    if (args.size() > params.size()) {
        throw py::type_error(function_ + "() takes at most " + std::to_string(params.size()) +
                             " positional arguments (" + std::to_string(args.size()) + " given)");
    }
    for (std::size_t i = 0; i < args.size(); ++i) bind(params[i], args[i], true);

    for (const auto& [key_object, value] : kwargs) {
        const std::string key = py::str(key_object).cast<std::string>();
        const Param* match = nullptr;
        for (const Param& p : params) {
            if (p.name == key) {
                match = &p;
                break;
            }
        }
        if (match != nullptr) {
            bind(*match, value, true);
            continue;
        }
        if (auto split = split_indexed(key)) {
            for (const Param& p : params) {
                if (is_array(p.kind) && p.name == split->first && split->second >= 1 &&
                    split->second <= p.size) {
                    match = &p;
                    break;
                }
            }
            if (match != nullptr) {
                store(key, *match, element_kind(match->kind), value);
                continue;
            }
        }
        throw py::type_error(function_ + "() got an unexpected keyword argument '" + key + "'");
    }
}

void CallArguments::bind(const Param& param, const py::handle& value, bool /*whole_array*/) {
    if (!is_array(param.kind)) {
        store(param.name, param, param.kind, value);
        return;
    }
    if (PyUnicode_Check(value.ptr()) || !PySequence_Check(value.ptr())) {
        throw py::type_error(function_ + "() argument '" + param.name + "' must be a sequence, not " +
                             describe_type(value));
    }
    py::sequence items = py::reinterpret_borrow<py::sequence>(value);
    if (static_cast<int>(items.size()) > param.size) {
        throw py::type_error(function_ + "() argument '" + param.name + "' takes at most " +
                             std::to_string(param.size) + " values (" + std::to_string(items.size()) +
                             " given)");
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        store(element_key(param.name, static_cast<int>(i) + 1), param, element_kind(param.kind), items[i]);
    }
}

void CallArguments::store(const std::string& key, const Param& /*param*/, ParamKind kind,
                          const py::handle& value) {
    if (values_.count(key) != 0) {
        throw py::type_error(function_ + "() got multiple values for argument '" + key + "'");
    }
    switch (kind) {
        case ParamKind::Integer:
            values_.emplace(key, to_integer(function_, key, value));
            break;
        case ParamKind::Real:
            values_.emplace(key, to_real(function_, key, value));
            break;
        case ParamKind::Text:
            values_.emplace(key, to_text(function_, key, value));
            break;
        default:
            break;
    }
}

bool CallArguments::has(std::string_view name) const {
    return values_.find(name) != values_.end();
}

bool CallArguments::has(std::string_view array, int position) const {
    return has(element_key(array, position));
}

std::optional<long long> CallArguments::integer(std::string_view name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    if (const auto* v = std::get_if<long long>(&it->second)) return *v;
    return std::nullopt;
}

std::optional<long long> CallArguments::integer(std::string_view array, int position) const {
    return integer(element_key(array, position));
}

std::optional<double> CallArguments::real(std::string_view name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    if (const auto* v = std::get_if<double>(&it->second)) return *v;
    if (const auto* v = std::get_if<long long>(&it->second)) return static_cast<double>(*v);
    return std::nullopt;
}

std::optional<double> CallArguments::real(std::string_view array, int position) const {
    return real(element_key(array, position));
}

std::optional<std::string> CallArguments::text(std::string_view name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    if (const auto* v = std::get_if<std::string>(&it->second)) return *v;
    return std::nullopt;
}

std::optional<std::string> CallArguments::text(std::string_view array, int position) const {
    return text(element_key(array, position));
}

long long CallArguments::integer_or(std::string_view name, long long fallback) const {
    return integer(name).value_or(fallback);
}

double CallArguments::real_or(std::string_view name, double fallback) const {
    return real(name).value_or(fallback);
}

std::vector<std::string> CallArguments::passed_names() const {
    std::vector<std::string> names;
    names.reserve(values_.size());
    for (const auto& entry : values_) names.push_back(entry.first);
    return names;
}

}  // namespace velquin::sim::python
