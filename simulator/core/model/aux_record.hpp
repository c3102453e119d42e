// Records kept field by field without a typed model (GNE devices, whose
// values depend on a user model), in a canonical order per kind, so that a
// case read from a file can be written out again without loss in any
// supported format revision. The canonical layouts are defined next to the
// format readers.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace velquin::sim {

// An empty field (std::monostate) is one the file left to its default.
using FieldValue = std::variant<std::monostate, long long, double, std::string>;

struct AuxRecord {
    std::vector<FieldValue> fields;
    // Nested record lists, for kinds made of several parts (a GNE device's
    // terminal buses and value lines).
    std::vector<std::vector<AuxRecord>> groups;
    bool operator==(const AuxRecord&) const = default;
};

}  // namespace velquin::sim
