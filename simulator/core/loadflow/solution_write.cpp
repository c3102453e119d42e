#include "loadflow/solution_write.hpp"

namespace velquin::sim::loadflow {

void apply_solution(const SolutionWrite& w, Case& c) noexcept {
    for (const auto& v : w.buses) {
        Bus& b = c.buses[static_cast<std::size_t>(v.element)];
        b.vm = v.vm;
        b.va_deg = v.va_deg;
    }
    for (const auto& v : w.star_points) {
        Transformer& t = c.transformers[static_cast<std::size_t>(v.element)];
        t.star_vm = v.vm;
        t.star_va_deg = v.va_deg;
    }
    for (const auto& v : w.machine_pg) c.machines[static_cast<std::size_t>(v.element)].pg = v.value;
    for (const auto& v : w.machine_qg) c.machines[static_cast<std::size_t>(v.element)].qg = v.value;
    for (const auto& r : w.ratios)
        c.transformers[static_cast<std::size_t>(r.transformer)]
            .windings[static_cast<std::size_t>(r.winding)]
            .ratio = r.ratio;
    for (const auto& a : w.angles)
        c.transformers[static_cast<std::size_t>(a.transformer)]
            .windings[static_cast<std::size_t>(a.winding)]
            .angle_deg = a.angle_deg;
    for (const auto& v : w.switched_shunt_mvar)
        c.switched_shunts[static_cast<std::size_t>(v.element)].initial_mvar = v.value;
    for (const auto& t : w.dc_taps) {
        TwoTerminalDcLine& l = c.two_terminal_dc_lines[static_cast<std::size_t>(t.line)];
        l.rectifier.tap = t.rectifier;
        l.inverter.tap = t.inverter;
    }
}

}  // namespace velquin::sim::loadflow
