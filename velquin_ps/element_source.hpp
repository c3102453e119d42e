// Where one value of a simulator call comes from in a small-case table:
// the mapping tables of every element kind are written with these.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "version_bands.hpp"

namespace velquin::ps {

namespace py = pybind11;

// Member index that stands for the winding being written (0, 1 or 2).
inline constexpr int kThisWinding = -1;

struct Source {
    enum class Rule {
        Entry,                 // table[key][i] and its members
        Constant,              // a fixed integer
        WindingNumber,         // 1, 2 or 3
        WindingOneUnlessZero,  // table[key][i][0] unless it is 0, else table[key][i][1]
        NewerThan34,           // the entry when version > 34, else 0
    };
    enum class Part { Whole, Real, Imag };

    Rule rule = Rule::Entry;
    const char* key = nullptr;
    int depth = 0;  // member indices applied after [i]
    std::array<int, 2> members{};
    Part part = Part::Whole;
    bool times_100 = false;
    long constant = 0;

    constexpr Source real() const { return with_part(Part::Real); }
    constexpr Source imag() const { return with_part(Part::Imag); }
    constexpr Source x100() const {
        Source copy = *this;
        copy.times_100 = true;
        return copy;
    }

private:
    constexpr Source with_part(Part chosen) const {
        Source copy = *this;
        copy.part = chosen;
        return copy;
    }
};

constexpr Source entry(const char* key) {
    return Source{.key = key};
}
constexpr Source member(const char* key, int index) {
    return Source{.key = key, .depth = 1, .members = {index, 0}};
}
constexpr Source member(const char* key, int index, int sub_index) {
    return Source{.key = key, .depth = 2, .members = {index, sub_index}};
}
constexpr Source constant(long value) {
    return Source{.rule = Source::Rule::Constant, .constant = value};
}
constexpr Source winding_number() {
    return Source{.rule = Source::Rule::WindingNumber};
}
constexpr Source winding_one_unless_zero(const char* key) {
    return Source{.rule = Source::Rule::WindingOneUnlessZero, .key = key};
}
constexpr Source newer_than_34(Source source) {
    source.rule = Source::Rule::NewerThan34;
    return source;
}

// One keyword argument of a simulator call; passed only from `since` on.
struct Argument {
    const char* keyword;
    Source source;
    double since = kAnyVersion;
};

// One piece of a status-dictionary key: fixed text, or an entry's text.
struct KeyPart {
    const char* text;
    Source source;
};
constexpr KeyPart text(const char* literal) {
    return KeyPart{literal, {}};
}
constexpr KeyPart text_of(Source source) {
    return KeyPart{nullptr, source};
}

// The columns of one small-case table, each fetched from the table once, on
// first use: a missing key fails where the first element needs it, as the
// plain lookup would.
class TableColumns {
public:
    explicit TableColumns(py::object table) : table_(std::move(table)) {}
    const py::object& operator[](const char* key);

private:
    py::object table_;
    std::unordered_map<std::string_view, py::object> columns_;
};

// The element being written: position `index` of the table, and for
// per-winding calls the winding position.
struct ElementRef {
    TableColumns& columns;
    py::ssize_t index;
    double version;
    int winding = 0;
};

// The value as the equivalent Python expression gives it (KeyError for a
// missing key, IndexError for a short sequence).
py::object evaluate(const Source& source, const ElementRef& element);

// How one simulator call is made from a small-case element: the source of
// each keyword argument, and the pieces of the element's status key.
struct CallMapping {
    std::vector<Argument> arguments;
    std::vector<KeyPart> key;
};

// A call whose keywords and fixed key texts are made once per transfer.
class PreparedCall {
public:
    explicit PreparedCall(const CallMapping& mapping);

    // Keyword arguments in table order, leaving out those not passed at
    // this version.
    py::dict arguments(const ElementRef& element) const;
    py::str key(const ElementRef& element) const;

    // operation(**arguments(element)), without copying the arguments.
    py::object call(const py::object& operation, const ElementRef& element) const;

private:
    const CallMapping& mapping_;
    std::vector<py::str> keywords_;
    std::vector<py::object> texts_;  // None where the piece is an entry
};

}  // namespace velquin::ps
