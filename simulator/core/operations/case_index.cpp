#include "operations/case_index.hpp"

#include <algorithm>
#include <cctype>
#include <functional>

namespace velquin::sim {

std::size_t ElementKeyHash::operator()(const ElementKey& k) const noexcept {
    std::size_t h = std::hash<std::string>{}(k.id);
    for (int v : {k.a, k.b, k.c}) h ^= std::hash<int>{}(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

std::string fold_identifier(std::string_view id) {
    std::string folded = normalize_identifier(id);
    for (char& ch : folded) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return folded;
}

ElementKey bus_key(int bus) {
    return ElementKey{bus, 0, 0, {}};
}

ElementKey bus_element_key(int bus, std::string_view id) {
    return ElementKey{bus, 0, 0, fold_identifier(id)};
}

ElementKey branch_key(int bus1, int bus2, std::string_view ckt) {
    return ElementKey{std::min(bus1, bus2), std::max(bus1, bus2), 0, fold_identifier(ckt)};
}

ElementKey three_winding_key(int bus1, int bus2, int bus3, std::string_view ckt) {
    std::array<int, 3> buses{bus1, bus2, bus3};
    std::sort(buses.begin(), buses.end());
    return ElementKey{buses[0], buses[1], buses[2], fold_identifier(ckt)};
}

namespace {

// Two-winding transformers get the key of a branch (third bus 0); three
// windings a sorted triple, so the two kinds never share a key.
ElementKey transformer_key(const Transformer& t) {
    return t.is_three_winding() ? three_winding_key(t.bus1, t.bus2, t.bus3, t.ckt)
                                : branch_key(t.bus1, t.bus2, t.ckt);
}

}  // namespace

void CaseIndex::clear() {
    *this = CaseIndex{};
}

template <class Element, class KeyOf>
std::optional<std::size_t> CaseIndex::find(Table& table, const std::vector<Element>& elements, KeyOf key_of,
                                           const ElementKey& key) {
    const bool grown_in_place = table.built && table.data == elements.data() && table.size <= elements.size();
    if (!grown_in_place) {
        table.positions.clear();
        table.positions.reserve(elements.size());
        table.size = 0;
    }
    // The first element with a key wins, as a scan from the front would find.
    for (std::size_t i = table.size; i < elements.size(); ++i)
        table.positions.emplace(key_of(elements[i]), i);
    table.data = elements.data();
    table.size = elements.size();
    table.built = true;
    auto it = table.positions.find(key);
    if (it == table.positions.end()) return std::nullopt;
    // A hit is checked against the element itself: a table that went stale
    // unnoticed (elements rewritten in place) is rebuilt once.
    if (!(key_of(elements[it->second]) == key)) {
        if (!grown_in_place) return std::nullopt;
        table.built = false;
        return find(table, elements, key_of, key);
    }
    return it->second;
}

std::optional<std::size_t> CaseIndex::bus(const Case& c, int number) {
    return find(
        buses_, c.buses, [](const Bus& b) { return bus_key(b.number); }, bus_key(number));
}

std::optional<std::size_t> CaseIndex::load(const Case& c, int bus, std::string_view id) {
    return find(
        loads_, c.loads, [](const Load& e) { return bus_element_key(e.bus, e.id); },
        bus_element_key(bus, id));
}

std::optional<std::size_t> CaseIndex::fixed_shunt(const Case& c, int bus, std::string_view id) {
    return find(
        fixed_shunts_, c.fixed_shunts, [](const FixedShunt& e) { return bus_element_key(e.bus, e.id); },
        bus_element_key(bus, id));
}

std::optional<std::size_t> CaseIndex::switched_shunt(const Case& c, int bus, std::string_view id) {
    return find(
        switched_shunts_, c.switched_shunts,
        [](const SwitchedShunt& e) { return bus_element_key(e.bus, e.id); }, bus_element_key(bus, id));
}

std::optional<std::size_t> CaseIndex::plant(const Case& c, int bus) {
    return find(
        plants_, c.plants, [](const Plant& p) { return bus_key(p.bus); }, bus_key(bus));
}

std::optional<std::size_t> CaseIndex::machine(const Case& c, int bus, std::string_view id) {
    return find(
        machines_, c.machines, [](const Machine& e) { return bus_element_key(e.bus, e.id); },
        bus_element_key(bus, id));
}

std::optional<std::size_t> CaseIndex::induction_machine(const Case& c, int bus, std::string_view id) {
    return find(
        induction_machines_, c.induction_machines,
        [](const InductionMachine& e) { return bus_element_key(e.bus, e.id); }, bus_element_key(bus, id));
}

std::optional<std::size_t> CaseIndex::line(const Case& c, int bus1, int bus2, std::string_view ckt) {
    return find(
        lines_, c.lines, [](const LineBranch& e) { return branch_key(e.from_bus, e.to_bus, e.ckt); },
        branch_key(bus1, bus2, ckt));
}

std::optional<std::size_t> CaseIndex::switching_device(const Case& c, int bus1, int bus2,
                                                       std::string_view ckt) {
    return find(
        switching_devices_, c.switching_devices,
        [](const SwitchingDevice& e) { return branch_key(e.from_bus, e.to_bus, e.ckt); },
        branch_key(bus1, bus2, ckt));
}

std::optional<std::size_t> CaseIndex::two_winding(const Case& c, int bus1, int bus2, std::string_view ckt) {
    return find(transformers_, c.transformers, transformer_key, branch_key(bus1, bus2, ckt));
}

std::optional<std::size_t> CaseIndex::three_winding(const Case& c, int bus1, int bus2, int bus3,
                                                    std::string_view ckt) {
    return find(transformers_, c.transformers, transformer_key, three_winding_key(bus1, bus2, bus3, ckt));
}

}  // namespace velquin::sim
