#include "loadflow/network_fingerprint.hpp"

#include <bit>
#include <string_view>
#include <type_traits>

#include "casefile/case_layout.hpp"

namespace velquin::sim::loadflow {

namespace {

class Hasher {
public:
    // FNV-1a over 64-bit words: one xor and one multiply per value.
    void add(std::uint64_t x) { h_ = (h_ ^ x) * 0x100000001b3ULL; }
    void add(int x) { add(static_cast<std::uint64_t>(static_cast<std::int64_t>(x))); }
    void add(double x) { add(std::bit_cast<std::uint64_t>(x + 0.0)); }  // -0 and +0 alike
    void add(Complex z) {
        add(z.real());
        add(z.imag());
    }
    void add(std::string_view s) {
        add(static_cast<std::uint64_t>(s.size()));
        for (unsigned char ch : s) add(static_cast<std::uint64_t>(ch));
    }
    std::uint64_t value() const { return h_ ^ (h_ >> 29); }

private:
    std::uint64_t h_ = 0x84222325cbf29ce4ULL;
};

// Every field of a device record, in the saved-case order.
struct FieldHasher {
    Hasher& h;
    template <class... F>
    void operator()(const F&... fields) {
        (add(fields), ...);
    }
    template <class F>
    void add(const F& f) {
        if constexpr (std::is_same_v<F, std::string>)
            h.add(std::string_view(f));
        else if constexpr (std::is_floating_point_v<F>)
            h.add(static_cast<double>(f));
        else if constexpr (std::is_integral_v<F>)
            h.add(static_cast<int>(f));
        else if constexpr (requires {
                               f.size();
                               f.begin();
                           })
            for (const auto& x : f) add(x);
        else
            casefile::visit_fields(*this, f);
    }
};

template <class Record>
void add_records(Hasher& h, const std::vector<Record>& records) {
    h.add(static_cast<int>(records.size()));
    FieldHasher fields{h};
    for (const Record& r : records) casefile::visit_fields(fields, r);
}

}  // namespace

std::uint64_t network_fingerprint(const Case& c, const BuildSettings& settings) {
    Hasher h;
    h.add(c.identification.base_mva);
    h.add(settings.zero_impedance_threshold);
    for (const std::string& line : c.system_wide.lines) h.add(line);
    h.add(static_cast<int>(c.buses.size()));
    for (const Bus& b : c.buses) {
        h.add(b.number);
        h.add(b.type);
        h.add(b.base_kv);
    }
    h.add(static_cast<int>(c.loads.size()));
    for (const Load& l : c.loads) {
        h.add(l.bus);
        h.add(l.status);
        h.add(l.constant_power);
        h.add(l.constant_current);
        h.add(l.constant_admittance);
        h.add(l.distributed_generation);
        h.add(l.distributed_generation_mode);
    }
    h.add(static_cast<int>(c.fixed_shunts.size()));
    for (const FixedShunt& s : c.fixed_shunts) {
        h.add(s.bus);
        h.add(s.status);
        h.add(s.admittance);
    }
    h.add(static_cast<int>(c.plants.size()));
    for (const Plant& p : c.plants) {
        h.add(p.bus);
        h.add(p.scheduled_voltage);
        h.add(p.regulated_bus);
        h.add(p.rmpct);
    }
    h.add(static_cast<int>(c.machines.size()));
    for (const Machine& g : c.machines) {
        h.add(g.bus);
        h.add(g.status);
        h.add(g.qmax);
        h.add(g.qmin);
        h.add(g.rmpct);
    }
    h.add(static_cast<int>(c.lines.size()));
    for (const LineBranch& l : c.lines) {
        h.add(l.from_bus);
        h.add(l.to_bus);
        h.add(l.status);
        h.add(l.r);
        h.add(l.x);
        h.add(l.b);
        h.add(l.from_shunt);
        h.add(l.to_shunt);
        h.add(l.metered_end);
    }
    h.add(static_cast<int>(c.switching_devices.size()));
    for (const SwitchingDevice& d : c.switching_devices) {
        h.add(d.from_bus);
        h.add(d.to_bus);
        h.add(d.status);
        h.add(d.x);
        h.add(d.metered_end);
    }
    h.add(static_cast<int>(c.transformers.size()));
    for (const Transformer& t : c.transformers) {
        h.add(t.bus1);
        h.add(t.bus2);
        h.add(t.bus3);
        h.add(t.winding_code);
        h.add(t.impedance_code);
        h.add(t.magnetizing_code);
        h.add(t.mag1);
        h.add(t.mag2);
        h.add(t.status);
        h.add(t.non_metered_winding);
        h.add(t.impedance_correction_code);
        for (const WindingPairImpedance& z : t.impedance) {
            h.add(z.r);
            h.add(z.x);
            h.add(z.sbase);
        }
        for (const Winding& w : t.windings) {
            h.add(w.ratio);
            h.add(w.nominal_kv);
            h.add(w.angle_deg);
            h.add(w.control_mode);
            h.add(w.controlled_bus);
            h.add(w.rmax);
            h.add(w.rmin);
            h.add(w.vmax);
            h.add(w.vmin);
            h.add(w.tap_positions);
            h.add(w.correction_table);
            h.add(w.load_drop_compensation);
        }
    }
    h.add(static_cast<int>(c.impedance_correction_tables.size()));
    for (const ImpedanceCorrectionTable& t : c.impedance_correction_tables) {
        h.add(t.number);
        h.add(static_cast<int>(t.points.size()));
        for (const CorrectionPoint& p : t.points) {
            h.add(p.t);
            h.add(p.factor);
        }
    }
    h.add(static_cast<int>(c.switched_shunts.size()));
    for (const SwitchedShunt& s : c.switched_shunts) {
        h.add(s.bus);
        h.add(s.control_mode);
        h.add(s.adjustment_method);
        h.add(s.status);
        h.add(s.vswhi);
        h.add(s.vswlo);
        h.add(s.regulated_bus);
        h.add(s.rmpct);
        h.add(s.vsc_name);
        h.add(s.initial_mvar);
        for (int k = 0; k < kSwitchedShuntBlockCount; ++k) {
            const auto ku = static_cast<std::size_t>(k);
            h.add(s.steps[ku]);
            h.add(s.mvar_per_step[ku]);
            h.add(s.block_status[ku]);
        }
    }
    h.add(static_cast<int>(c.induction_machines.size()));
    for (const InductionMachine& im : c.induction_machines) {
        h.add(im.bus);
        h.add(im.status);
        h.add(im.mbase);
        h.add(im.ratekv);
        h.add(im.pcode);
        h.add(im.pset);
        for (double x : {im.ra, im.xa, im.xm, im.r1, im.x1, im.r2, im.x2}) h.add(x);
    }
    add_records(h, c.two_terminal_dc_lines);
    add_records(h, c.vsc_dc_lines);
    h.add(static_cast<int>(c.multi_terminal_dc_lines.size()));
    add_records(h, c.facts_devices);
    h.add(static_cast<int>(c.gne_devices.size()));
    return h.value();
}

void refresh_state(NetworkModel& m, const Case& c) {
    for (std::size_t i = 0; i < m.v_case.size(); ++i) {
        double vm = 1.0, va = 0.0;
        if (m.node_bus[i] >= 0) {
            const Bus& b = c.buses[static_cast<std::size_t>(m.node_bus[i])];
            vm = b.vm;
            va = b.va_deg;
        } else {
            const Transformer& t = c.transformers[static_cast<std::size_t>(m.node_star[i])];
            vm = t.star_vm;
            va = t.star_va_deg;
        }
        if (m.v_case_source[i].first == vm && m.v_case_source[i].second == va) continue;
        m.v_case_source[i] = {vm, va};
        m.v_case[i] = std::polar(vm > 0.0 ? vm : 1.0, va * (3.14159265358979323846 / 180.0));
    }
    // Machines at load buses inject their stored output; plants at
    // generator buses their scheduled power (a swing plant's is free). These
    // are outside the fingerprint because solutions write them.
    for (std::size_t k = 0; k < m.fixed_machines.size(); ++k) {
        const auto [machine, node] = m.fixed_machines[k];
        const Machine& g = c.machines[static_cast<std::size_t>(machine)];
        const Complex s = Complex(g.pg, g.qg) / m.base_mva;
        m.s_base[static_cast<std::size_t>(node)] += s - m.fixed_machine_s[k];
        m.fixed_machine_s[k] = s;
    }
    for (PlantModel& pm : m.plants) {
        if (pm.kind != RegulatorKind::Machines) continue;  // set by their devices' data alone
        double p = 0.0;
        for (int mi : pm.machines) p += c.machines[static_cast<std::size_t>(mi)].pg / m.base_mva;
        if (!pm.swing) m.s_base[static_cast<std::size_t>(pm.node)] += p - pm.p;
        pm.p = p;
        pm.stored_q = 0.0;
        for (int mi : pm.machines) pm.stored_q += c.machines[static_cast<std::size_t>(mi)].qg / m.base_mva;
        if (pm.plant < 0) {
            const double vm = c.buses[static_cast<std::size_t>(pm.bus)].vm;
            pm.vs = vm > 0.0 ? vm : 1.0;
        }
    }
    for (TapControl& tc : m.taps) {
        tc.last_direction = 0;
        tc.last_steps = 0;
        tc.last_ratio = tc.last_voltage = 0.0;
        tc.locked = false;
        tc.moved = false;
    }
    reset_flow_controls(m.flow_controls);
    for (LccLineData& d : m.lcc_lines) {
        choose_lcc_regime(d, c.buses[static_cast<std::size_t>(d.rectifier.bus)].vm,
                          c.buses[static_cast<std::size_t>(d.inverter.bus)].vm, d.regime, d.current_order);
        d.regime_changes = 0;
    }
    for (ShuntControl& sc : m.shunts) {
        sc.last_direction = 0;
        sc.locked = false;
        sc.moved = false;
    }
}

}  // namespace velquin::sim::loadflow
