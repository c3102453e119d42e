#include "formats/case_summary.hpp"

namespace velquin::sim {

std::string describe_element_counts(const Case& c) {
    std::size_t three = 0;
    for (const auto& t : c.transformers) three += t.is_three_winding() ? 1 : 0;
    const struct {
        std::size_t count;
        const char* one;
        const char* many;
    } kinds[] = {
        {c.buses.size(), "bus", "buses"},
        {c.loads.size(), "load", "loads"},
        {c.fixed_shunts.size(), "fixed shunt", "fixed shunts"},
        {c.machines.size(), "machine", "machines"},
        {c.lines.size(), "line branch", "line branches"},
        {c.switching_devices.size(), "switching device", "switching devices"},
        {c.transformers.size() - three, "two-winding transformer", "two-winding transformers"},
        {three, "three-winding transformer", "three-winding transformers"},
        {c.areas.size(), "area", "areas"},
        {c.two_terminal_dc_lines.size(), "two-terminal DC line", "two-terminal DC lines"},
        {c.vsc_dc_lines.size(), "VSC DC line", "VSC DC lines"},
        {c.impedance_correction_tables.size(), "impedance correction table", "impedance correction tables"},
        {c.multi_terminal_dc_lines.size(), "multi-terminal DC line", "multi-terminal DC lines"},
        {c.multi_section_lines.size(), "multi-section line", "multi-section lines"},
        {c.zones.size(), "zone", "zones"},
        {c.inter_area_transfers.size(), "inter-area transfer", "inter-area transfers"},
        {c.owners.size(), "owner", "owners"},
        {c.facts_devices.size(), "FACTS device", "FACTS devices"},
        {c.switched_shunts.size(), "switched shunt", "switched shunts"},
        {c.gne_devices.size(), "GNE device", "GNE devices"},
        {c.induction_machines.size(), "induction machine", "induction machines"},
        {c.substations.size(), "substation", "substations"},
    };
    std::string text;
    for (const auto& k : kinds) {
        if (k.count == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(k.count) + " " + (k.count == 1 ? k.one : k.many);
    }
    return text.empty() ? "no elements" : text;
}

}  // namespace velquin::sim
