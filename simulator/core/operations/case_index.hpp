// Lookup tables over a case's element vectors (bus number to position,
// bus and identifier to position, ...), so that finding or creating an
// element does not scan the case.
//
// The tables follow the case lazily: each remembers the vector's buffer and
// length when it was last brought up to date. Elements appended since are
// added on the next lookup; a vector that was reallocated, shortened or
// replaced is indexed again from scratch. A position found is checked
// against the element before it is returned. Code that removes elements or
// rewrites their key fields (bus numbers, identifiers) in place must call
// clear(), or a lookup may miss an element that is there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/case.hpp"

namespace velquin::sim {

// Up to three bus numbers and an identifier; the buses of a branch are
// stored sorted so that either direction finds it. Identifiers are folded
// to upper case without trailing blanks, as same_identifier compares them.
struct ElementKey {
    int a = 0;
    int b = 0;
    int c = 0;
    std::string id;
    bool operator==(const ElementKey&) const = default;
};

struct ElementKeyHash {
    std::size_t operator()(const ElementKey& k) const noexcept;
};

std::string fold_identifier(std::string_view id);
ElementKey bus_key(int bus);
ElementKey bus_element_key(int bus, std::string_view id);
ElementKey branch_key(int bus1, int bus2, std::string_view ckt);
ElementKey three_winding_key(int bus1, int bus2, int bus3, std::string_view ckt);

// Position of the device of that name (DC lines, FACTS devices); names
// compare as identifiers do. These lists are short, so they are scanned.
template <class Device>
std::optional<std::size_t> find_named(const std::vector<Device>& devices, std::string_view name) {
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (same_identifier(devices[i].name, name)) return i;
    return std::nullopt;
}

class CaseIndex {
public:
    // Forgets every table; the next lookup indexes the case again.
    void clear();

    std::optional<std::size_t> bus(const Case& c, int number);
    std::optional<std::size_t> load(const Case& c, int bus, std::string_view id);
    std::optional<std::size_t> fixed_shunt(const Case& c, int bus, std::string_view id);
    std::optional<std::size_t> switched_shunt(const Case& c, int bus, std::string_view id);
    std::optional<std::size_t> plant(const Case& c, int bus);
    std::optional<std::size_t> machine(const Case& c, int bus, std::string_view id);
    std::optional<std::size_t> induction_machine(const Case& c, int bus, std::string_view id);
    // Branches are found whichever end is named first.
    std::optional<std::size_t> line(const Case& c, int bus1, int bus2, std::string_view ckt);
    std::optional<std::size_t> switching_device(const Case& c, int bus1, int bus2, std::string_view ckt);
    std::optional<std::size_t> two_winding(const Case& c, int bus1, int bus2, std::string_view ckt);
    std::optional<std::size_t> three_winding(const Case& c, int bus1, int bus2, int bus3,
                                             std::string_view ckt);

private:
    struct Table {
        const void* data = nullptr;
        std::size_t size = 0;
        bool built = false;
        std::unordered_map<ElementKey, std::size_t, ElementKeyHash> positions;
    };

    template <class Element, class KeyOf>
    static std::optional<std::size_t> find(Table& table, const std::vector<Element>& elements, KeyOf key_of,
                                           const ElementKey& key);

    Table buses_;
    Table loads_;
    Table fixed_shunts_;
    Table switched_shunts_;
    Table plants_;
    Table machines_;
    Table induction_machines_;
    Table lines_;
    Table switching_devices_;
    Table transformers_;
};

}  // namespace velquin::sim
