#include "element_source.hpp"

#include "python_calls.hpp"

namespace velquin::ps {

namespace {

py::object item(const py::object& container, py::ssize_t index) {
    return container[py::int_(index)];
}

py::object path_value(const Source& source, const ElementRef& element) {
    py::object value = item(element.table[py::str(source.key)], element.index);
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
            auto windings = item(element.table[py::str(source.key)], element.index);
            auto first = item(windings, 0);
            value = not_zero(first) ? first : item(windings, 1);
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
    if (source.part == Source::Part::Real) value = value.attr("real");
    if (source.part == Source::Part::Imag) value = value.attr("imag");
    return source.times_100 ? times_100(value) : value;
}

py::dict build_arguments(std::span<const Argument> arguments, const ElementRef& element) {
    py::dict kwargs;
    for (const auto& argument : arguments) {
        if (!(element.version >= argument.since)) continue;
        kwargs[py::str(argument.keyword)] = evaluate(argument.source, element);
    }
    return kwargs;
}

py::str build_key(std::span<const KeyPart> parts, const ElementRef& element) {
    py::list pieces;
    for (const auto& part : parts) {
        pieces.append(part.text != nullptr ? py::str(part.text) : py::str(evaluate(part.source, element)));
    }
    return py::str("").attr("join")(pieces);
}

}  // namespace velquin::ps
