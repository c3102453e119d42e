#include "loadflow/network_model.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "loadflow/branch_admittance.hpp"
#include "loadflow/bus_index.hpp"
#include "loadflow/device_controls.hpp"
#include "loadflow/facts_device_model.hpp"
#include "loadflow/lcc_dc_line.hpp"
#include "loadflow/vsc_dc_line.hpp"

namespace velquin::sim::loadflow {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
// Rotor data of this size or more mark a cage that is not present.
constexpr double kAbsentRotorValue = 999.0;

class UnionFind {
public:
    explicit UnionFind(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }
    int find(int x) {
        while (parent_[static_cast<std::size_t>(x)] != x) {
            auto& p = parent_[static_cast<std::size_t>(x)];
            p = parent_[static_cast<std::size_t>(p)];
            x = p;
        }
        return x;
    }
    void unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return;
        // Keep the smaller index as root so that nodes follow case order.
        if (a < b)
            parent_[static_cast<std::size_t>(b)] = a;
        else
            parent_[static_cast<std::size_t>(a)] = b;
    }

private:
    std::vector<int> parent_;
};

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class Builder {
public:
    Builder(const Case& c, const BuildSettings& s, const BusIndex& index, NetworkModel& m)
        : c_(c), s_(s), m_(m), index_(index) {}

    void run() {
        m_.base_mva = c_.identification.base_mva > 0.0 ? c_.identification.base_mva : 100.0;
        m_.zero_impedance_threshold = s_.zero_impedance_threshold;
        base_ = m_.base_mva;
        number_nodes();
        m_.y_shunt.assign(n(), Complex{});
        m_.b_switched.assign(n(), 0.0);
        m_.s_load.assign(n(), Complex{});
        m_.i_load.assign(n(), Complex{});
        add_lines();
        add_transformers();
        add_device_branches();
        add_shunts_and_loads();
        add_machines();
        add_induction_machines();
        build_pattern();
        find_islands();
        settle_regulation();
        add_device_regulators();
        add_switched_shunt_controls();
        note_unmodelled();
        m_.refresh_admittance();
        take_solution_state(m_, c_);
    }

private:
    std::size_t n() const { return static_cast<std::size_t>(m_.node_count); }

    int node_of_bus(int number) const {
        const int b = index_.find(number);
        return b < 0 ? -1 : m_.bus_node[static_cast<std::size_t>(b)];
    }
    bool in_service(int number) const { return node_of_bus(number) >= 0; }
    double base_kv(int number) const {
        const int b = index_.find(number);
        return b < 0 ? 0.0 : c_.buses[static_cast<std::size_t>(b)].base_kv;
    }

    bool is_tie(const LineBranch& l) const { return is_zero_impedance_line(l, s_.zero_impedance_threshold); }
    bool is_tie(const SwitchingDevice& d) const { return std::fabs(d.x) <= s_.zero_impedance_threshold; }

    void number_nodes() {
        const std::size_t nb = c_.buses.size();
        UnionFind uf(nb);
        std::vector<char> up(nb);
        for (std::size_t i = 0; i < nb; ++i) up[i] = c_.buses[i].in_service();
        auto both_up = [&](int f, int t, int& bf, int& bt) {
            bf = index_.find(f);
            bt = index_.find(t);
            return bf >= 0 && bt >= 0 && up[static_cast<std::size_t>(bf)] && up[static_cast<std::size_t>(bt)];
        };
        for (const LineBranch& l : c_.lines) {
            int bf = 0, bt = 0;
            if (l.status == 1 && is_tie(l) && both_up(l.from_bus, l.to_bus, bf, bt)) uf.unite(bf, bt);
        }
        for (const SwitchingDevice& d : c_.switching_devices) {
            int bf = 0, bt = 0;
            if (d.status == 1 && is_tie(d) && both_up(d.from_bus, d.to_bus, bf, bt)) uf.unite(bf, bt);
        }
        // A FACTS device whose series element is bypassed ties its buses.
        for (const FactsDevice& f : c_.facts_devices) {
            int bf = 0, bt = 0;
            if (facts_bypassed(f) && both_up(f.sending_bus, f.terminal_bus, bf, bt)) uf.unite(bf, bt);
        }
        m_.bus_node.assign(nb, -1);
        int count = 0;
        for (std::size_t i = 0; i < nb; ++i) {
            if (!up[i]) continue;
            const int root = uf.find(static_cast<int>(i));
            if (root == static_cast<int>(i)) {
                m_.bus_node[i] = count++;
                m_.node_bus.push_back(static_cast<int>(i));
            } else {
                m_.bus_node[i] = m_.bus_node[static_cast<std::size_t>(root)];
                ++tied_buses_;
            }
        }
        m_.star_node.assign(c_.transformers.size(), -1);
        for (std::size_t t = 0; t < c_.transformers.size(); ++t) {
            const Transformer& tr = c_.transformers[t];
            if (!tr.is_three_winding() || tr.status == 0) continue;
            if (!in_service(tr.bus1) || !in_service(tr.bus2) || !in_service(tr.bus3)) continue;
            m_.star_node[t] = count++;
            m_.node_bus.push_back(-1);
        }
        m_.node_count = count;
        m_.node_star.assign(n(), -1);
        for (std::size_t t = 0; t < c_.transformers.size(); ++t)
            if (m_.star_node[t] >= 0)
                m_.node_star[static_cast<std::size_t>(m_.star_node[t])] = static_cast<int>(t);
    }

    void add_stamp(int a, int b, const TwoPort& tp, Complex series, double shift, int transformer,
                   int winding, StampEnds ends, double t2 = 1.0, double t1 = 1.0, int corrected = -1) {
        if (a == b) {
            // Both ends in one node (parallel to a tie): only the shunt parts remain.
            m_.y_shunt[static_cast<std::size_t>(a)] += tp.yaa + tp.yab + tp.yba + tp.ybb;
            return;
        }
        BranchStamp s;
        s.a = a;
        s.b = b;
        s.yaa = tp.yaa;
        s.yab = tp.yab;
        s.yba = tp.yba;
        s.ybb = tp.ybb;
        s.series = series;
        s.shift_rad = shift;
        s.t1 = t1;
        s.t2 = t2;
        s.corrected = corrected;
        s.ends = ends;
        m_.stamps.push_back(s);
        m_.stamp_transformer.push_back(transformer);
        m_.stamp_winding.push_back(winding);
    }

    void add_lines() {
        for (const LineBranch& l : c_.lines) {
            if (l.status != 1) continue;
            const int a = node_of_bus(l.from_bus), b = node_of_bus(l.to_bus);
            if (a < 0 || b < 0) continue;
            if (is_tie(l)) {
                m_.y_shunt[static_cast<std::size_t>(a)] += Complex(0.0, l.b / 2.0) + l.from_shunt;
                m_.y_shunt[static_cast<std::size_t>(b)] += Complex(0.0, l.b / 2.0) + l.to_shunt;
                continue;
            }
            const TwoPort tp = line_two_port(l);
            add_stamp(a, b, tp, -tp.yab, 0.0, -1, 0,
                      {index_.find(l.from_bus), index_.find(l.to_bus), l.metered_end >= 2});
        }
        for (const SwitchingDevice& d : c_.switching_devices) {
            if (d.status != 1 || is_tie(d)) continue;
            const int a = node_of_bus(d.from_bus), b = node_of_bus(d.to_bus);
            if (a < 0 || b < 0) continue;
            const Complex y = 1.0 / Complex(0.0, d.x);
            add_stamp(a, b, TwoPort{y, -y, -y, y}, y, 0.0, -1, 0,
                      {index_.find(d.from_bus), index_.find(d.to_bus), d.metered_end >= 2});
        }
    }

    Complex nonzero_impedance(Complex z) {
        if (std::abs(z) > 1e-12) return z;
        ++zero_impedance_windings_;
        return Complex(0.0, s_.zero_impedance_threshold);
    }

    void add_tap_control(int t, int k, int stamp_index, int winding_node, double kv) {
        const Transformer& tr = c_.transformers[static_cast<std::size_t>(t)];
        const Winding& w = tr.windings[static_cast<std::size_t>(k)];
        if (w.control_mode == 4 || w.control_mode == 5) ++uncontrolled_taps_;
        if (w.control_mode == 2 || w.control_mode == 3) {
            add_flow_control(t, k, stamp_index, kv);
            return;
        }
        if (w.control_mode != 1 || w.controlled_bus == 0) return;
        const int controlled = node_of_bus(std::abs(w.controlled_bus));
        if (controlled < 0 || stamp_index < 0) return;
        TapControl tc;
        tc.transformer = t;
        tc.winding = k;
        tc.stamp = stamp_index;
        tc.controlled_node = controlled;
        tc.controlled_on_tap_side = w.controlled_bus < 0 || controlled == winding_node;
        tc.vmin = std::min(w.vmin, w.vmax);
        tc.vmax = std::max(w.vmin, w.vmax);
        std::tie(tc.rmin, tc.rmax) = ratio_limits_pu(tr, k, kv);
        tc.step = w.tap_positions > 1 ? (tc.rmax - tc.rmin) / (w.tap_positions - 1) : 0.0;
        tc.ratio = winding_ratio_pu(tr, k, kv);
        tc.bus_base_kv = kv;
        tc.load_drop = w.load_drop_compensation;
        m_.taps.push_back(tc);
    }

    // Ratio limits RMA/RMI of winding k in pu of its bus base (they are in
    // the units of CW, like the ratio).
    std::pair<double, double> ratio_limits_pu(const Transformer& tr, int k, double kv) const {
        const Winding& w = tr.windings[static_cast<std::size_t>(k)];
        const double scale = w.ratio != 0.0 ? winding_ratio_pu(tr, k, kv) / w.ratio : 1.0;
        const double r1 = w.rmin * scale, r2 = w.rmax * scale;
        return {std::min(r1, r2), std::max(r1, r2)};
    }

    void add_flow_control(int t, int k, int stamp_index, double kv) {
        if (stamp_index < 0) return;
        const Transformer& tr = c_.transformers[static_cast<std::size_t>(t)];
        const Winding& w = tr.windings[static_cast<std::size_t>(k)];
        FlowControl fc;
        fc.transformer = t;
        fc.winding = k;
        fc.stamp = stamp_index;
        fc.active_power = w.control_mode == 3;
        fc.low = std::min(w.vmin, w.vmax) / base_;
        fc.high = std::max(w.vmin, w.vmax) / base_;
        fc.bus_base_kv = kv;
        if (fc.active_power) {
            fc.min = std::min(w.rmin, w.rmax) * kDegToRad;
            fc.max = std::max(w.rmin, w.rmax) * kDegToRad;
            fc.setting = w.angle_deg * kDegToRad;
        } else {
            std::tie(fc.min, fc.max) = ratio_limits_pu(tr, k, kv);
            fc.setting = winding_ratio_pu(tr, k, kv);
        }
        fc.step = w.tap_positions > 1 ? (fc.max - fc.min) / (w.tap_positions - 1) : 0.0;
        m_.flow_controls.push_back(fc);
    }

    // Registers a transformer whose windings refer to impedance correction
    // tables; -1 when none of its windings has a usable table.
    int add_correction(int ti, const std::array<double, 3>& kv) {
        CorrectedTransformer ct =
            transformer_correction(c_, c_.transformers[static_cast<std::size_t>(ti)], base_, kv, m_.notes);
        if (!ct.applies()) return -1;
        ct.transformer = ti;
        m_.corrected_transformers.push_back(std::move(ct));
        return static_cast<int>(m_.corrected_transformers.size()) - 1;
    }

    std::array<Complex, 3> corrected_impedances(int corrected, const std::array<double, 3>& ratio_pu) const {
        const CorrectedTransformer& ct = m_.corrected_transformers[static_cast<std::size_t>(corrected)];
        const Transformer& t = c_.transformers[static_cast<std::size_t>(ct.transformer)];
        return corrected_series_impedances(
            ct, ratio_pu, {t.windings[0].angle_deg, t.windings[1].angle_deg, t.windings[2].angle_deg});
    }

    void add_transformers() {
        for (std::size_t ti = 0; ti < c_.transformers.size(); ++ti) {
            const Transformer& t = c_.transformers[ti];
            const int it = static_cast<int>(ti);
            if (!t.is_three_winding()) {
                if (t.status != 1) continue;
                const int a = node_of_bus(t.bus1), b = node_of_bus(t.bus2);
                if (a < 0 || b < 0) continue;
                const double kv1 = base_kv(t.bus1), kv2 = base_kv(t.bus2);
                const double t1 = winding_ratio_pu(t, 0, kv1), t2 = winding_ratio_pu(t, 1, kv2);
                const int corrected = add_correction(it, {kv1, 0.0, 0.0});
                const Complex z = corrected < 0 ? pair_impedance_pu(t, 0, base_)
                                                : corrected_impedances(corrected, {t1, 1.0, 1.0})[0];
                const Complex y = 1.0 / nonzero_impedance(z);
                const double shift = t.windings[0].angle_deg * kDegToRad;
                m_.y_shunt[static_cast<std::size_t>(a)] += magnetizing_admittance_pu(t, base_);
                const std::size_t before = m_.stamps.size();
                add_stamp(a, b, winding_two_port(y, t1, shift, t2), y, shift, it, 0,
                          {index_.find(t.bus1), index_.find(t.bus2), t.non_metered_winding == 1}, t2, t1,
                          corrected);
                const int stamp = m_.stamps.size() > before ? static_cast<int>(before) : -1;
                if (corrected >= 0)
                    m_.corrected_transformers[static_cast<std::size_t>(corrected)].stamp[0] = stamp;
                add_tap_control(it, 0, stamp, a, kv1);
                continue;
            }
            const int star = m_.star_node[ti];
            if (star < 0) continue;
            const std::array<int, 3> buses{t.bus1, t.bus2, t.bus3};
            const std::array<double, 3> kvs{base_kv(t.bus1), base_kv(t.bus2), base_kv(t.bus3)};
            const std::array<double, 3> ratios{winding_ratio_pu(t, 0, kvs[0]), winding_ratio_pu(t, 1, kvs[1]),
                                               winding_ratio_pu(t, 2, kvs[2])};
            const int corrected = add_correction(it, kvs);
            const std::array<Complex, 3> z =
                corrected < 0 ? star_impedances_pu(t, base_) : corrected_impedances(corrected, ratios);
            // Status 2, 3 and 4 take one winding out: 2 and 3 name the
            // winding, 4 means winding 1.
            const int out = t.status == 2 ? 1 : t.status == 3 ? 2 : t.status == 4 ? 0 : -1;
            const auto non_metered = static_cast<std::size_t>(
                t.non_metered_winding >= 1 && t.non_metered_winding <= 3 ? t.non_metered_winding - 1 : 1);
            m_.y_shunt[static_cast<std::size_t>(star)] += magnetizing_admittance_pu(t, base_);
            for (int k = 0; k < 3; ++k) {
                if (k == out) continue;
                const auto ku = static_cast<std::size_t>(k);
                const int a = node_of_bus(buses[ku]);
                const Complex y = 1.0 / nonzero_impedance(z[ku]);
                const double shift = t.windings[ku].angle_deg * kDegToRad;
                const std::size_t before = m_.stamps.size();
                add_stamp(a, star, winding_two_port(y, ratios[ku], shift, 1.0), y, shift, it, k,
                          {index_.find(buses[ku]), index_.find(buses[non_metered]), false}, 1.0, ratios[ku],
                          corrected);
                const int stamp = m_.stamps.size() > before ? static_cast<int>(before) : -1;
                if (corrected >= 0)
                    m_.corrected_transformers[static_cast<std::size_t>(corrected)].stamp[ku] = stamp;
                add_tap_control(it, k, stamp, a, kvs[ku]);
            }
        }
    }

    void add_shunts_and_loads() {
        for (const FixedShunt& s : c_.fixed_shunts) {
            const int a = node_of_bus(s.bus);
            if (s.status == 1 && a >= 0) m_.y_shunt[static_cast<std::size_t>(a)] += s.admittance / base_;
        }
        for (const Load& l : c_.loads) {
            const int a = node_of_bus(l.bus);
            if (l.status != 1 || a < 0) continue;
            const auto i = static_cast<std::size_t>(a);
            m_.s_load[i] -= l.constant_power / base_;
            m_.i_load[i] += l.constant_current / base_;
            m_.y_shunt[i] += l.constant_admittance / base_;
            if (l.distributed_generation_mode != 0) m_.s_load[i] += l.distributed_generation / base_;
        }
    }

    void add_machines() {
        const std::size_t nb = c_.buses.size();
        std::vector<int> plant_at(nb, -1);
        for (std::size_t p = 0; p < c_.plants.size(); ++p) {
            const int b = index_.find(c_.plants[p].bus);
            if (b >= 0 && plant_at[static_cast<std::size_t>(b)] < 0)
                plant_at[static_cast<std::size_t>(b)] = static_cast<int>(p);
        }
        std::vector<int> model_at(nb, -1);
        for (std::size_t mi = 0; mi < c_.machines.size(); ++mi) {
            const Machine& g = c_.machines[mi];
            if (g.status != 1) continue;
            const int b = index_.find(g.bus);
            if (b < 0) continue;
            const auto bi = static_cast<std::size_t>(b);
            const int node = m_.bus_node[bi];
            if (node < 0) continue;
            const int type = c_.buses[bi].type;
            if (type != kGeneratorBus && type != kSwingBus) {
                // A machine at a load bus is a fixed injection.
                m_.fixed_machines.emplace_back(static_cast<int>(mi), node);
                continue;
            }
            if (model_at[bi] < 0) {
                model_at[bi] = static_cast<int>(m_.plants.size());
                m_.plants.push_back(new_plant(b, plant_at[bi]));
            }
            PlantModel& pm = m_.plants[static_cast<std::size_t>(model_at[bi])];
            if (g.wind_mode == 2 || g.wind_mode == 3) ++wind_power_factor_;
            pm.machines.push_back(static_cast<int>(mi));
            pm.qmax += std::max(g.qmax, g.qmin) / base_;
            pm.qmin += std::min(g.qmax, g.qmin) / base_;
        }
        // A swing bus holds the reference even without a machine.
        for (std::size_t b = 0; b < nb; ++b) {
            if (c_.buses[b].type != kSwingBus || m_.bus_node[b] < 0 || model_at[b] >= 0) continue;
            model_at[b] = static_cast<int>(m_.plants.size());
            m_.plants.push_back(new_plant(static_cast<int>(b), plant_at[b]));
            m_.notes.push_back("Swing bus " + std::to_string(c_.buses[b].number) +
                               " has no machine in service; its generation is not assigned to any machine");
        }
        for (PlantModel& pm : m_.plants) {
            double total = 0.0;
            for (int mi : pm.machines)
                total += std::max(0.0, c_.machines[static_cast<std::size_t>(mi)].rmpct);
            for (int mi : pm.machines) {
                const double r = std::max(0.0, c_.machines[static_cast<std::size_t>(mi)].rmpct);
                pm.machine_share.push_back(total > 0.0 ? r / total
                                                       : 1.0 / static_cast<double>(pm.machines.size()));
            }
        }
    }

    PlantModel new_plant(int bus, int plant) {
        const Bus& b = c_.buses[static_cast<std::size_t>(bus)];
        PlantModel pm;
        pm.plant = plant;
        pm.bus = bus;
        pm.node = m_.bus_node[static_cast<std::size_t>(bus)];
        pm.swing = b.type == kSwingBus;
        pm.regulated_node = pm.node;
        if (plant >= 0) {
            // Without a plant record the bus's own voltage is the set point:
            // state, taken by take_solution_state.
            const Plant& p = c_.plants[static_cast<std::size_t>(plant)];
            pm.vs = p.scheduled_voltage > 0.0 ? p.scheduled_voltage : 1.0;
            pm.weight = p.rmpct > 0.0 ? p.rmpct : 0.0;
            if (p.regulated_bus != 0 && p.regulated_bus != b.number) {
                pm.regulated_node = node_of_bus(p.regulated_bus);
                requested_remote_.push_back(static_cast<int>(m_.plants.size()));
            }
        }
        return pm;
    }

    void add_induction_machines() {
        for (std::size_t i = 0; i < c_.induction_machines.size(); ++i) {
            const InductionMachine& im = c_.induction_machines[i];
            const int node = node_of_bus(im.bus);
            if (im.status != 1 || node < 0) continue;
            InductionModel md;
            md.machine = static_cast<int>(i);
            md.node = node;
            const double mbase = im.mbase > 0.0 ? im.mbase : base_;
            md.base_ratio = mbase / base_;
            md.p = im.pset / base_;
            md.mechanical = im.pcode != 2;
            const double kv = base_kv(im.bus);
            md.v_scale = (im.ratekv > 0.0 && kv > 0.0) ? kv / im.ratekv : 1.0;
            md.zs = Complex(im.ra, im.xa);
            md.zm = Complex(0.0, im.xm > 0.0 ? im.xm : 1e6);
            md.has_rotor = im.r1 < kAbsentRotorValue && im.x1 < kAbsentRotorValue && im.r1 > 0.0;
            md.zr1 = Complex(im.r1, im.x1);
            md.has_second_cage =
                md.has_rotor && im.r2 < kAbsentRotorValue && im.x2 < kAbsentRotorValue && im.r2 > 0.0;
            md.zr2 = Complex(im.r2, im.x2);
            m_.induction.push_back(md);
        }
    }

    void build_pattern() {
        const std::size_t nn = n();
        std::vector<int> count(nn, 1);
        for (const BranchStamp& s : m_.stamps) {
            ++count[static_cast<std::size_t>(s.a)];
            ++count[static_cast<std::size_t>(s.b)];
        }
        std::vector<int> start(nn + 1, 0);
        for (std::size_t i = 0; i < nn; ++i) start[i + 1] = start[i] + count[i];
        std::vector<int> cols(static_cast<std::size_t>(start[nn]));
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < nn; ++i) cols[static_cast<std::size_t>(fill[i]++)] = static_cast<int>(i);
        for (const BranchStamp& s : m_.stamps) {
            cols[static_cast<std::size_t>(fill[static_cast<std::size_t>(s.a)]++)] = s.b;
            cols[static_cast<std::size_t>(fill[static_cast<std::size_t>(s.b)]++)] = s.a;
        }
        m_.y_start.assign(nn + 1, 0);
        m_.y_col.clear();
        m_.y_col.reserve(cols.size());
        m_.y_diag.assign(nn, -1);
        for (std::size_t i = 0; i < nn; ++i) {
            auto first = cols.begin() + start[i], last = cols.begin() + start[i + 1];
            // Rows are short: insertion sort beats the general sort here.
            for (auto it = first + 1; it < last; ++it)
                for (auto j = it; j > first && *(j - 1) > *j; --j) std::iter_swap(j - 1, j);
            last = std::unique(first, last);
            for (auto it = first; it != last; ++it) {
                if (*it == static_cast<int>(i)) m_.y_diag[i] = static_cast<int>(m_.y_col.size());
                m_.y_col.push_back(*it);
            }
            m_.y_start[i + 1] = static_cast<int>(m_.y_col.size());
        }
        auto position = [&](int row, int col) {
            const auto first = m_.y_col.begin() + m_.y_start[static_cast<std::size_t>(row)];
            const auto last = m_.y_col.begin() + m_.y_start[static_cast<std::size_t>(row) + 1];
            return static_cast<int>(std::lower_bound(first, last, col) - m_.y_col.begin());
        };
        for (BranchStamp& s : m_.stamps) {
            s.paa = m_.y_diag[static_cast<std::size_t>(s.a)];
            s.pbb = m_.y_diag[static_cast<std::size_t>(s.b)];
            s.pab = position(s.a, s.b);
            s.pba = position(s.b, s.a);
        }
        m_.y_val.assign(m_.y_col.size(), Complex{});
    }

    void find_islands() {
        const std::size_t nn = n();
        UnionFind uf(nn);
        for (const BranchStamp& s : m_.stamps)
            if (!s.coupling) uf.unite(s.a, s.b);
        m_.node_island.assign(nn, -1);
        std::vector<int> island_of_root(nn, -1);
        int islands = 0;
        for (std::size_t i = 0; i < nn; ++i) {
            const auto r = static_cast<std::size_t>(uf.find(static_cast<int>(i)));
            if (island_of_root[r] < 0) island_of_root[r] = islands++;
            m_.node_island[i] = island_of_root[r];
        }
        m_.island_count = islands;
        m_.island_swing.assign(static_cast<std::size_t>(islands), -1);
        m_.node_swing.assign(nn, 0);
        for (PlantModel& pm : m_.plants) {
            if (!pm.swing) continue;
            const auto island = static_cast<std::size_t>(m_.node_island[static_cast<std::size_t>(pm.node)]);
            const int chosen = m_.island_swing[island];
            if (chosen < 0 || chosen == pm.node) {
                m_.island_swing[island] = pm.node;
                m_.node_swing[static_cast<std::size_t>(pm.node)] = 1;
                continue;
            }
            // A second swing bus in one island holds its voltage like a
            // generator bus and keeps its scheduled active power.
            pm.swing = false;
            pm.demoted_swing = true;
            m_.notes.push_back(
                "Swing bus " + std::to_string(c_.buses[static_cast<std::size_t>(pm.bus)].number) +
                " is in the island of swing bus " +
                std::to_string(
                    c_.buses[static_cast<std::size_t>(m_.node_bus[static_cast<std::size_t>(chosen)])]
                        .number) +
                "; it is solved as a generator bus");
        }
        m_.node_active.assign(nn, 0);
        for (std::size_t i = 0; i < nn; ++i)
            m_.node_active[i] = m_.island_swing[static_cast<std::size_t>(m_.node_island[i])] >= 0;
    }

    // --- Devices: DC lines and FACTS devices (see their headers). ---

    std::string device_name(const char* kind, const std::string& name) const {
        return std::string(kind) + " '" + name + "'";
    }

    // A zero stamp between two nodes whose injections depend on each
    // other's voltage: it gives the Jacobian the entries for it without
    // joining their islands.
    void add_coupling(int a, int b, StampEnds ends) {
        const std::size_t before = m_.stamps.size();
        add_stamp(a, b, TwoPort{}, Complex{}, 0.0, -1, 0, ends);
        if (m_.stamps.size() > before) m_.stamps.back().coupling = true;
    }

    void add_device_branches() {
        for (std::size_t k = 0; k < c_.two_terminal_dc_lines.size(); ++k) {
            const TwoTerminalDcLine& l = c_.two_terminal_dc_lines[k];
            if (l.control_mode == kDcBlocked) continue;
            const std::string who = device_name("Two-terminal DC line", l.name);
            if (l.control_mode != kDcPowerControl && l.control_mode != kDcCurrentControl) {
                m_.notes.push_back(who + ": control mode " + std::to_string(l.control_mode) +
                                   " unknown; blocked");
                continue;
            }
            std::string problem;
            LccLineData d = lcc_line_data(c_, index_, k, problem);
            if (!problem.empty()) {
                m_.notes.push_back(who + ": " + problem + "; blocked");
                continue;
            }
            d.rectifier.node = m_.bus_node[static_cast<std::size_t>(d.rectifier.bus)];
            d.inverter.node = m_.bus_node[static_cast<std::size_t>(d.inverter.bus)];
            if (d.rectifier.node < 0 || d.inverter.node < 0) {
                m_.notes.push_back(who + ": a converter bus is out of service; blocked");
                continue;
            }
            if (l.rectifier.capacitor_reactance != 0.0 || l.inverter.capacitor_reactance != 0.0)
                m_.notes.push_back(
                    who + ": capacitor-commutated converters (XCAP) are solved without their capacitors");
            if (l.rectifier.tap_control_from_bus != 0 || l.inverter.tap_control_from_bus != 0)
                m_.notes.push_back(
                    who +
                    ": the AC transformer named to serve a converter's tap keeps its ratio; the "
                    "converter's own tap is adjusted");
            add_coupling(d.rectifier.node, d.inverter.node, {d.rectifier.bus, d.inverter.bus, false});
            m_.lcc_lines.push_back(std::move(d));
        }
        for (std::size_t k = 0; k < c_.facts_devices.size(); ++k) {
            const FactsDevice& f = c_.facts_devices[k];
            const std::string who = device_name("FACTS device", f.name);
            if (f.mode > kFactsConstantVoltage) {
                m_.notes.push_back(who + ": interline power flow control (MODE " + std::to_string(f.mode) +
                                   ") is not modelled; left out");
                continue;
            }
            if (f.mode == kFactsOutOfService || f.terminal_bus == 0) continue;
            const int bi = index_.find(f.sending_bus), bj = index_.find(f.terminal_bus);
            const int a = node_of_bus(f.sending_bus), b = node_of_bus(f.terminal_bus);
            if (a < 0 || b < 0) continue;
            if (facts_has_series_branch(f)) {
                std::string note;
                const TwoPort tp = facts_series_two_port(f, s_.zero_impedance_threshold, note);
                if (!note.empty()) m_.notes.push_back(who + ": " + note);
                add_stamp(a, b, tp, -tp.yab, 0.0, -1, 0, {bi, bj, true});
            } else if (f.mode == kFactsNormal) {
                FactsModel fm;
                fm.device = static_cast<int>(k);
                fm.sending_bus = bi;
                fm.terminal_bus = bj;
                fm.sending_node = a;
                fm.terminal_node = b;
                fm.scheduled_flow = a != b;
                fm.schedule = Complex(f.p_desired, f.q_desired) / base_;
                if (fm.scheduled_flow) add_coupling(a, b, {bi, bj, true});
                m_.facts.push_back(fm);
            }
        }
    }

    // A regulator standing for a device at bus `bus` (case index) that
    // holds `regulated_bus` (0: its own) at vs; -1, with a note, where it
    // cannot: its node already holds plants that regulate another bus, or
    // a swing bus holds that voltage.
    int add_regulator(RegulatorKind kind, int device, int bus, int regulated_bus, double vs, double weight,
                      const std::string& who) {
        const int node = m_.bus_node[static_cast<std::size_t>(bus)];
        int regulated = regulated_bus != 0 ? node_of_bus(regulated_bus) : node;
        if (regulated < 0 || m_.node_island[static_cast<std::size_t>(regulated)] !=
                                 m_.node_island[static_cast<std::size_t>(node)]) {
            if (regulated_bus != 0)
                m_.notes.push_back(who + " cannot regulate bus " + std::to_string(regulated_bus) +
                                   " (out of service or in another island); it regulates its own bus");
            regulated = node;
        }
        for (const PlantModel& pm : m_.plants)
            if (pm.node == node && pm.regulated_node != regulated) {
                m_.notes.push_back(who + ": its bus holds plants regulating another bus; no voltage control");
                return -1;
            }
        if (m_.node_swing[static_cast<std::size_t>(node)] ||
            m_.node_swing[static_cast<std::size_t>(regulated)]) {
            m_.notes.push_back(who + ": a swing bus holds the voltage; no voltage control");
            return -1;
        }
        PlantModel pm;
        pm.kind = kind;
        pm.device = device;
        pm.bus = bus;
        pm.node = node;
        pm.regulated_node = regulated;
        pm.vs = vs > 0.0 ? vs : 1.0;
        pm.weight = std::max(0.0, weight);
        m_.plants.push_back(pm);
        return static_cast<int>(m_.plants.size()) - 1;
    }

    void add_device_regulators() {
        for (std::size_t k = 0; k < c_.vsc_dc_lines.size(); ++k) {
            const VscDcLine& l = c_.vsc_dc_lines[k];
            if (l.status != 1) continue;
            const std::string who = device_name("VSC DC line", l.name);
            VscLineModel vm;
            vm.line = static_cast<int>(k);
            bool up = true;
            for (std::size_t e = 0; e < 2; ++e) {
                vm.bus[e] = index_.find(l.converters[e].bus);
                vm.node[e] = vm.bus[e] < 0 ? -1 : m_.bus_node[static_cast<std::size_t>(vm.bus[e])];
                up = up && vm.node[e] >= 0 && m_.node_active[static_cast<std::size_t>(vm.node[e])];
            }
            std::string problem;
            if (!up) problem = "a converter bus is out of service or in an island without a swing bus";
            if (up && !solve_vsc_dc(l, vm.dc, problem)) up = false;
            if (!up) {
                m_.notes.push_back(who + ": " + problem + "; out of service");
                continue;
            }
            for (std::size_t e = 0; e < 2; ++e) {
                const VscConverter& cv = l.converters[e];
                const auto node = static_cast<std::size_t>(vm.node[e]);
                const double p = vm.dc.p_mw[e];
                // Set by the line's data alone: part of the loads' share.
                m_.s_load[node] += p / base_;
                const std::string end = who + " converter at bus " + std::to_string(cv.bus);
                if (cv.ac_control == kVscAcVoltageControl)
                    vm.plant[e] =
                        add_regulator(RegulatorKind::VscConverter, static_cast<int>(m_.vsc_lines.size()),
                                      vm.bus[e], cv.regulated_bus, cv.ac_setpoint, cv.rmpct, end);
                // A regulator's reactive limits depend on its voltage (the
                // current rating): taken with the state (take_device_state).
                if (vm.plant[e] >= 0) continue;
                vm.fixed_q[e] = cv.ac_control == kVscPowerFactorControl ? vsc_power_factor_q(cv, p) : 0.0;
                m_.s_load[node] += Complex(0.0, vm.fixed_q[e] / base_);
            }
            m_.vsc_lines.push_back(vm);
        }
        for (std::size_t k = 0; k < c_.facts_devices.size(); ++k) {
            const FactsDevice& f = c_.facts_devices[k];
            if (!facts_has_shunt(f)) continue;
            const int bi = index_.find(f.sending_bus);
            const int node = node_of_bus(f.sending_bus);
            if (node < 0 || !m_.node_active[static_cast<std::size_t>(node)]) continue;
            const std::string who = device_name("FACTS device", f.name) + " shunt element";
            const int plant = add_regulator(RegulatorKind::FactsShunt, static_cast<int>(k), bi,
                                            f.regulated_bus, f.voltage_setpoint, f.rmpct, who);
            if (plant < 0) continue;
            PlantModel& pm = m_.plants[static_cast<std::size_t>(plant)];
            pm.susceptance_limits = true;
            pm.qmax = f.shunt_max / base_;
            pm.qmin = -f.shunt_max / base_;
            auto it = std::find_if(m_.facts.begin(), m_.facts.end(),
                                   [&](const FactsModel& x) { return x.device == static_cast<int>(k); });
            if (it == m_.facts.end()) {
                FactsModel fm;
                fm.device = static_cast<int>(k);
                fm.sending_bus = bi;
                fm.sending_node = node;
                m_.facts.push_back(fm);
                it = m_.facts.end() - 1;
            }
            it->plant = plant;
        }
    }

    void settle_regulation() {
        // Plants at a load-bus node that holds generators of another type:
        // every plant at one node regulates the same bus, the first one's.
        std::vector<int> node_regulates(n(), -2);
        for (std::size_t p = 0; p < m_.plants.size(); ++p) {
            PlantModel& pm = m_.plants[p];
            const auto node = static_cast<std::size_t>(pm.node);
            bool fallback = false;
            if (pm.regulated_node < 0)
                fallback = true;
            else if (pm.regulated_node != pm.node) {
                const auto r = static_cast<std::size_t>(pm.regulated_node);
                if (m_.node_island[r] != m_.node_island[node] || m_.node_swing[r] || m_.node_swing[node])
                    fallback = true;
            }
            if (fallback) {
                if (std::find(requested_remote_.begin(), requested_remote_.end(), static_cast<int>(p)) !=
                    requested_remote_.end())
                    m_.notes.push_back(
                        "Plant at bus " + std::to_string(c_.buses[static_cast<std::size_t>(pm.bus)].number) +
                        " cannot regulate bus " +
                        std::to_string(c_.plants[static_cast<std::size_t>(pm.plant)].regulated_bus) +
                        " (out of service, in another island or a swing bus); it regulates its own bus");
                pm.regulated_node = pm.node;
            }
            if (node_regulates[node] == -2)
                node_regulates[node] = pm.regulated_node;
            else
                pm.regulated_node = node_regulates[node];
        }
    }

    // Switched shunts: their admittance, and their controls. A continuous
    // one (MODSW 2) whose voltage no machine holds regulates within the
    // Newton solution like a plant with susceptance limits.
    void add_switched_shunt_controls() {
        std::vector<char> machine_held(n(), 0);
        for (const PlantModel& pm : m_.plants) machine_held[static_cast<std::size_t>(pm.regulated_node)] = 1;
        std::vector<int> control_of(c_.switched_shunts.size(), -1);
        std::vector<int> controlled_case_shunt;
        for (std::size_t i = 0; i < c_.switched_shunts.size(); ++i) {
            const SwitchedShunt& s = c_.switched_shunts[i];
            const int node = node_of_bus(s.bus);
            if (s.status != 1 || node < 0) continue;
            const auto ni = static_cast<std::size_t>(node);
            ShuntControl sc;
            sc.shunt = static_cast<int>(i);
            sc.node = node;
            sc.mode = s.control_mode;
            sc.regulated_node = node;
            sc.vlo = std::min(s.vswlo, s.vswhi);
            sc.vhi = std::max(s.vswlo, s.vswhi);
            sc.b = s.initial_mvar / base_;
            sc.levels = shunt_levels(s);
            sc.bmin = sc.levels.front();
            sc.bmax = sc.levels.back();
            int controlled_shunt = -1;
            switch (s.control_mode) {
                case 1:
                case 2:
                    sc.continuous = s.control_mode == 2;
                    sc.regulated_node = s.regulated_bus != 0 ? node_of_bus(s.regulated_bus) : node;
                    if (sc.regulated_node < 0 ||
                        m_.node_island[static_cast<std::size_t>(sc.regulated_node)] != m_.node_island[ni])
                        sc.regulated_node = node;
                    if (sc.continuous && !machine_held[static_cast<std::size_t>(sc.regulated_node)] &&
                        m_.node_active[ni]) {
                        sc.plant = static_cast<int>(m_.plants.size());
                        m_.plants.push_back(shunt_regulator(s, sc, static_cast<int>(m_.shunts.size())));
                    }
                    break;
                case 3:
                    sc.controlled_plant = machine_plant_at(s.regulated_bus != 0 ? s.regulated_bus : s.bus);
                    if (sc.controlled_plant < 0) {
                        m_.notes.push_back(
                            "Switched shunt at bus " + std::to_string(s.bus) +
                            " controls the reactive output of the plant at bus " +
                            std::to_string(s.regulated_bus) +
                            ", which has no machine in service regulating a voltage: held at its "
                            "present admittance");
                        sc.mode = 0;
                    }
                    break;
                case 4:
                case 6:
                    sc.controlled_plant = s.control_mode == 4 ? vsc_regulator(s) : facts_regulator(s);
                    if (sc.controlled_plant < 0) {
                        m_.notes.push_back("Switched shunt at bus " + std::to_string(s.bus) + " controls " +
                                           (s.control_mode == 4 ? "VSC DC line '" : "FACTS device '") +
                                           s.vsc_name +
                                           "', which holds no voltage in this solution: held at its present "
                                           "admittance");
                        sc.mode = 0;
                    }
                    break;
                case 5:
                    for (std::size_t j = 0; j < c_.switched_shunts.size(); ++j)
                        if (j != i &&
                            c_.switched_shunts[j].bus == (s.regulated_bus != 0 ? s.regulated_bus : s.bus) &&
                            (c_.switched_shunts[j].control_mode == 1 ||
                             c_.switched_shunts[j].control_mode == 2)) {
                            controlled_shunt = static_cast<int>(j);
                            break;
                        }
                    if (controlled_shunt < 0) {
                        m_.notes.push_back(
                            "Switched shunt at bus " + std::to_string(s.bus) +
                            " controls another switched shunt at bus " + std::to_string(s.regulated_bus) +
                            ", which holds no voltage-controlling switched shunt: held at its present "
                            "admittance");
                        sc.mode = 0;
                    }
                    break;
                case 0:
                    break;
                default:
                    ++uncontrolled_shunts_;
                    sc.mode = 0;
                    break;
            }
            if (sc.plant < 0) m_.b_switched[ni] += sc.b;
            if (sc.mode == 0) continue;
            control_of[i] = static_cast<int>(m_.shunts.size());
            controlled_case_shunt.push_back(controlled_shunt);
            m_.shunts.push_back(std::move(sc));
        }
        for (std::size_t k = 0; k < m_.shunts.size(); ++k)
            if (controlled_case_shunt[k] >= 0)
                m_.shunts[k].controlled_shunt =
                    control_of[static_cast<std::size_t>(controlled_case_shunt[k])];
    }

    // The regulator of the VSC converter a switched shunt names (MODSW 4:
    // line RMIDNT, converter at SWREG or either), or -1.
    int vsc_regulator(const SwitchedShunt& s) const {
        for (const VscLineModel& vm : m_.vsc_lines) {
            const VscDcLine& l = c_.vsc_dc_lines[static_cast<std::size_t>(vm.line)];
            if (l.name != s.vsc_name) continue;
            for (std::size_t e = 0; e < 2; ++e)
                if (vm.plant[e] >= 0 && (s.regulated_bus == 0 || l.converters[e].bus == s.regulated_bus))
                    return vm.plant[e];
        }
        return -1;
    }

    // The regulator of the FACTS shunt element a switched shunt names
    // (MODSW 6: device RMIDNT), or -1.
    int facts_regulator(const SwitchedShunt& s) const {
        for (const FactsModel& f : m_.facts)
            if (f.plant >= 0 && c_.facts_devices[static_cast<std::size_t>(f.device)].name == s.vsc_name)
                return f.plant;
        return -1;
    }

    // The plant of the machines at a bus, or -1.
    int machine_plant_at(int bus_number) const {
        const int b = index_.find(bus_number);
        for (std::size_t p = 0; p < m_.plants.size(); ++p)
            if (m_.plants[p].kind == RegulatorKind::Machines && m_.plants[p].bus == b &&
                !m_.plants[p].swing && m_.plants[p].qmax > m_.plants[p].qmin)
                return static_cast<int>(p);
        return -1;
    }

    // A continuous switched shunt as a regulator: dormant (limits equal to
    // its present admittance) until the adjustment lets it regulate.
    PlantModel shunt_regulator(const SwitchedShunt& s, const ShuntControl& sc, int shunt_control) const {
        PlantModel pm;
        pm.kind = RegulatorKind::SwitchedShunt;
        pm.device = shunt_control;
        pm.bus = index_.find(s.bus);
        pm.node = sc.node;
        pm.regulated_node = sc.regulated_node;
        pm.vs = 0.5 * (sc.vlo + sc.vhi);
        pm.qmax = pm.qmin = sc.b;
        pm.susceptance_limits = true;
        pm.weight = s.rmpct > 0.0 ? s.rmpct : 0.0;
        return pm;
    }

    std::vector<double> shunt_levels(const SwitchedShunt& s) const {
        std::vector<std::pair<int, double>> blocks;
        for (int k = 0; k < kSwitchedShuntBlockCount; ++k) {
            const auto ku = static_cast<std::size_t>(k);
            if (s.steps[ku] <= 0 || s.mvar_per_step[ku] == 0.0) break;
            if (s.block_status[ku] != 1) continue;
            blocks.emplace_back(s.steps[ku], s.mvar_per_step[ku] / base_);
        }
        std::vector<double> levels{0.0};
        std::size_t combinations = 1;
        for (const auto& [steps, b] : blocks) combinations *= static_cast<std::size_t>(steps + 1);
        if (s.adjustment_method == 1 && combinations <= 4096) {
            // Any combination of steps: every reachable total.
            for (const auto& [steps, b] : blocks) {
                std::vector<double> next;
                for (double base_level : levels)
                    for (int k = 0; k <= steps; ++k) next.push_back(base_level + k * b);
                levels = std::move(next);
            }
        } else {
            // Blocks switch in input order, capacitors and reactors apart.
            double cap = 0.0, rea = 0.0;
            for (const auto& [steps, b] : blocks)
                for (int k = 0; k < steps; ++k) {
                    if (b > 0)
                        levels.push_back(cap += b);
                    else
                        levels.push_back(rea += b);
                }
        }
        std::sort(levels.begin(), levels.end());
        levels.erase(std::unique(levels.begin(), levels.end(),
                                 [](double x, double y) { return std::fabs(x - y) < 1e-12; }),
                     levels.end());
        return levels;
    }

    void note_unmodelled() {
        auto note = [&](std::size_t count, const char* one, const char* many) {
            if (count > 0)
                m_.notes.push_back(plural(count, one, many) + " not modelled by the load flow: ignored");
        };
        if (!c_.multi_terminal_dc_lines.empty())
            m_.notes.push_back(
                plural(c_.multi_terminal_dc_lines.size(), "multi-terminal DC line",
                       "multi-terminal DC lines") +
                " read and kept, not modelled by the load flow: their converters carry no power");
        note(c_.gne_devices.size(), "GNE device", "GNE devices");
        if (zero_impedance_windings_ > 0)
            m_.notes.push_back(
                plural(zero_impedance_windings_, "transformer winding has", "transformer windings have") +
                " zero impedance: solved with the zero-impedance threshold as reactance");
        if (uncontrolled_taps_ > 0)
            m_.notes.push_back(
                plural(uncontrolled_taps_, "transformer winding controls", "transformer windings control") +
                " a DC line or asymmetric active power (COD 4 or 5): held fixed");
        if (uncontrolled_shunts_ > 0)
            m_.notes.push_back(
                plural(uncontrolled_shunts_, "switched shunt controls", "switched shunts control") +
                " a plant, converter or other shunt: held at its present admittance");
        if (wind_power_factor_ > 0)
            m_.notes.push_back(plural(wind_power_factor_, "wind machine", "wind machines") +
                               " with reactive power by power factor (WMOD 2 or 3): QT and QB used instead");
        if (tied_buses_ > 0)
            m_.notes.push_back(plural(tied_buses_, "bus is", "buses are") +
                               " tied to another bus by zero-impedance lines or closed switches");
    }

    const Case& c_;
    const BuildSettings& s_;
    NetworkModel& m_;
    const BusIndex& index_;
    double base_ = 100.0;
    std::vector<int> requested_remote_;
    std::size_t tied_buses_ = 0, zero_impedance_windings_ = 0, uncontrolled_taps_ = 0,
                uncontrolled_shunts_ = 0, wind_power_factor_ = 0;
};

}  // namespace

void NetworkModel::refresh_admittance() {
    std::fill(y_val.begin(), y_val.end(), Complex{});
    for (std::size_t i = 0; i < y_diag.size(); ++i)
        y_val[static_cast<std::size_t>(y_diag[i])] = y_shunt[i] + Complex(0.0, b_switched[i]);
    for (const BranchStamp& s : stamps) {
        y_val[static_cast<std::size_t>(s.paa)] += s.yaa;
        y_val[static_cast<std::size_t>(s.pab)] += s.yab;
        y_val[static_cast<std::size_t>(s.pba)] += s.yba;
        y_val[static_cast<std::size_t>(s.pbb)] += s.ybb;
    }
}

namespace {

void restamp(BranchStamp& s) {
    const TwoPort tp = winding_two_port(s.series, s.t1, s.shift_rad, s.t2);
    s.yaa = tp.yaa;
    s.yab = tp.yab;
    s.yba = tp.yba;
    s.ybb = tp.ybb;
}

}  // namespace

void NetworkModel::set_tap_ratio(int stamp, double ratio_pu) {
    BranchStamp& s = stamps[static_cast<std::size_t>(stamp)];
    s.t1 = ratio_pu;
    if (s.corrected >= 0)
        refresh_correction(s.corrected);
    else
        restamp(s);
}

void NetworkModel::set_phase_shift(int stamp, double shift_rad) {
    BranchStamp& s = stamps[static_cast<std::size_t>(stamp)];
    s.shift_rad = shift_rad;
    if (s.corrected >= 0)
        refresh_correction(s.corrected);
    else
        restamp(s);
}

void NetworkModel::refresh_correction(int corrected) {
    const CorrectedTransformer& ct = corrected_transformers[static_cast<std::size_t>(corrected)];
    std::array<double, 3> ratio{1.0, 1.0, 1.0}, angle{0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < 3; ++k) {
        if (ct.stamp[k] < 0) continue;
        const BranchStamp& s = stamps[static_cast<std::size_t>(ct.stamp[k])];
        ratio[k] = s.t1;
        angle[k] = s.shift_rad * 180.0 / std::numbers::pi;
    }
    const std::array<Complex, 3> z = corrected_series_impedances(ct, ratio, angle);
    for (std::size_t k = 0; k < 3; ++k) {
        if (ct.stamp[k] < 0) continue;
        BranchStamp& s = stamps[static_cast<std::size_t>(ct.stamp[k])];
        s.series = 1.0 / (std::abs(z[k]) > 1e-12 ? z[k] : Complex(0.0, zero_impedance_threshold));
        restamp(s);
    }
}

NetworkModel build_network(const Case& c, const BuildSettings& settings, const BusIndex& index) {
    NetworkModel m;
    Builder builder(c, settings, index, m);
    builder.run();
    return m;
}

NetworkModel build_network(const Case& c, const BuildSettings& settings) {
    const BusIndex index(c.buses);
    return build_network(c, settings, index);
}

void take_solution_state(NetworkModel& m, const Case& c) {
    const std::size_t n = static_cast<std::size_t>(m.node_count);
    const double base = m.base_mva;
    m.v_case.assign(n, Complex(1.0, 0.0));
    m.v_case_source.assign(n, {0.0, 0.0});
    for (std::size_t i = 0; i < n; ++i) {
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
        m.v_case_source[i] = {vm, va};
        m.v_case[i] = std::polar(vm > 0.0 ? vm : 1.0, va * kDegToRad);
    }
    // Loads, then machines at load buses, then generator-bus plants, then
    // second swing buses: one order for every build.
    m.s_base = m.s_load;
    for (const auto& [machine, node] : m.fixed_machines) {
        const Machine& g = c.machines[static_cast<std::size_t>(machine)];
        m.s_base[static_cast<std::size_t>(node)] += Complex(g.pg, g.qg) / base;
    }
    for (PlantModel& pm : m.plants) {
        if (pm.kind != RegulatorKind::Machines) continue;  // set by their devices' data
        pm.p = 0.0;
        pm.stored_q = 0.0;
        for (int mi : pm.machines) {
            const Machine& g = c.machines[static_cast<std::size_t>(mi)];
            pm.p += g.pg / base;
            pm.stored_q += g.qg / base;
        }
        if (pm.plant < 0) {
            const double vm = c.buses[static_cast<std::size_t>(pm.bus)].vm;
            pm.vs = vm > 0.0 ? vm : 1.0;
        }
    }
    // Generator-bus plants inject their scheduled power; a swing plant's is
    // what balances the island.
    for (const PlantModel& pm : m.plants)
        if (!pm.swing && !pm.demoted_swing) m.s_base[static_cast<std::size_t>(pm.node)] += pm.p;
    for (const PlantModel& pm : m.plants)
        if (pm.demoted_swing) m.s_base[static_cast<std::size_t>(pm.node)] += pm.p;
    for (TapControl& tc : m.taps) {
        tc.last_direction = 0;
        tc.last_steps = 0;
        tc.last_ratio = 0.0;
        tc.last_voltage = 0.0;
        tc.locked = false;
        tc.moved = false;
    }
    for (ShuntControl& sc : m.shunts) {
        sc.last_direction = 0;
        sc.locked = false;
        sc.moved = false;
    }
    reset_flow_controls(m.flow_controls);
    take_device_state(m, c);
}

}  // namespace velquin::sim::loadflow
