#include "element_source.hpp"

#include "python_calls.hpp"

namespace velquin::ps {

namespace {

py::object item(const py::object& container, py::ssize_t index) {
    return container[py::int_(index)];
}

// Interned once for the process: the attribute is read for every complex
// entry of every element.
py::object attribute(const py::object& value, const char* name, PyObject*& interned) {
    if (interned == nullptr) interned = PyUnicode_InternFromString(name);
    PyObject* result = PyObject_GetAttr(value.ptr(), interned);
    if (result == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

PyObject* real_name = nullptr;
PyObject* imag_name = nullptr;

py::object path_value(const Source& source, const ElementRef& element) {
    py::object value = item(element.columns[source.key], element.index);
    for (int level = 0; level < source.depth; ++level) {
        const int member = source.members[static_cast<std::size_t>(level)];
        value = item(value, member == kThisWinding ? element.winding : member);
    }
    return value;
}

}  // namespace

py::object evaluate(const Source& source, const ElementRef& element) {
    py::object value;
    switch (source.rule) {
        case Source::Rule::Constant:
            return py::int_(source.constant);
        case Source::Rule::WindingNumber:
            return py::int_(element.winding + 1);
        case Source::Rule::WindingOneUnlessZero: {
            auto windings = item(element.columns[source.key], element.index);
            auto first = item(windings, 0);
            value = is_nonzero(first) ? first : item(windings, 1);
            break;
        }
        case Source::Rule::NewerThan34:
            if (!(element.version > 34)) return py::int_(0);
            value = path_value(source, element);
            break;
        case Source::Rule::Entry:
            value = path_value(source, element);
            break;
    }
    if (source.part == Source::Part::Real) value = attribute(value, "real", real_name);
    if (source.part == Source::Part::Imag) value = attribute(value, "imag", imag_name);
    return source.times_100 ? times_100(value) : value;
}

const py::object& TableColumns::operator[](const char* key) {
    auto found = columns_.find(key);
    if (found != columns_.end()) return found->second;
    py::object column = table_[py::str(key)];
    return columns_.emplace(key, std::move(column)).first->second;
}

PreparedCall::PreparedCall(const CallMapping& mapping) : mapping_(mapping) {
    keywords_.reserve(mapping.arguments.size());
    for (const auto& argument : mapping.arguments) {
        keywords_.push_back(py::reinterpret_steal<py::str>(PyUnicode_InternFromString(argument.keyword)));
    }
    for (const auto& part : mapping.key) {
        texts_.push_back(part.text != nullptr ? py::object(py::str(part.text)) : py::object(py::none()));
    }
}

py::dict PreparedCall::arguments(const ElementRef& element) const {
    py::dict kwargs;
    for (std::size_t n = 0; n < keywords_.size(); ++n) {
        const auto& argument = mapping_.arguments[n];
        if (!(element.version >= argument.since)) continue;
        kwargs[keywords_[n]] = evaluate(argument.source, element);
    }
    return kwargs;
}

py::object PreparedCall::call(const py::object& operation, const ElementRef& element) const {
    auto kwargs = arguments(element);
    PyObject* result = PyObject_Call(operation.ptr(), py::tuple().ptr(), kwargs.ptr());
    if (result == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

py::str PreparedCall::key(const ElementRef& element) const {
    py::list pieces;
    for (std::size_t n = 0; n < texts_.size(); ++n) {
        pieces.append(texts_[n].is_none() ? py::str(evaluate(mapping_.key[n].source, element)) : texts_[n]);
    }
    return py::str("").attr("join")(pieces);
}

}  // namespace velquin::ps
