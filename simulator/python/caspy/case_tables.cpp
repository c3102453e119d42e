#include "caspy/case_tables.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "operations/element_views.hpp"

namespace velquin::sim::python {

namespace {

// Powers of machines, loads and shunts are reported per 100 MVA, whatever
// the system base: the transfer multiplies them by 100 again.
constexpr double kPowerScale = 100.0;

// Equal values of a table share one Python object: numbers, texts and
// tuples are immutable, so sharing changes nothing but object identity, and
// it spares most of the allocations of a large case's tables (the zeros of
// unused ratings and windings, ownership repeated from element to element).
// Bit patterns decide, so 0.0 and -0.0 stay apart; a NaN shares nothing (a
// NaN is not equal to itself, but one object in two places would be).
template <class T>
struct is_sequence : std::false_type {};
template <class T>
struct is_sequence<std::vector<T>> : std::true_type {};
template <class T, std::size_t N>
struct is_sequence<std::array<T, N>> : std::true_type {};

template <class T>
bool same_value(const T& a, const T& b) {
    if constexpr (std::is_same_v<T, std::string>) {
        return a == b;
    } else if constexpr (is_sequence<T>::value) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!same_value(a[i], b[i])) return false;
        }
        return true;
    } else if constexpr (std::is_same_v<T, double>) {
        return !std::isnan(a) && std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    } else if constexpr (std::is_same_v<T, Complex>) {
        return same_value(a.real(), b.real()) && same_value(a.imag(), b.imag());
    } else {
        static_assert(std::is_integral_v<T>);
        return a == b;
    }
}

// The +0.0 every table shares; kept for the life of the process.
py::object zero_float() {
    static PyObject* const zero = PyFloat_FromDouble(0.0);
    if (zero == nullptr) throw py::error_already_set();
    return py::reinterpret_borrow<py::object>(zero);
}

py::object value(int v) {
    return py::int_(v);
}
py::object value(double v) {
    return std::bit_cast<std::uint64_t>(v) == 0 ? zero_float() : py::float_(v);  // +0.0 only
}
py::object value(const std::string& v) {
    return py::str(v);
}
py::object value(Complex v) {
    return py::reinterpret_steal<py::object>(PyComplex_FromDoubles(v.real(), v.imag()));
}

template <class T, std::size_t N>
py::object value(const std::array<T, N>& items);
template <class T>
py::object value(const std::vector<T>& items);

// A tuple of `values` converted, each value equal to the one before it
// sharing that one's object.
template <class Values, class Convert>
py::tuple shared_tuple(const Values& values, Convert convert) {
    const auto count = static_cast<Py_ssize_t>(std::size(values));
    PyObject* t = PyTuple_New(count);
    if (t == nullptr) throw py::error_already_set();
    py::tuple result = py::reinterpret_steal<py::tuple>(t);
    using Value = std::decay_t<decltype(convert(*std::begin(values)))>;
    std::optional<Value> previous;
    PyObject* previous_object = nullptr;
    Py_ssize_t i = 0;
    for (const auto& item : values) {
        Value v = convert(item);
        if (previous && same_value(*previous, v)) {
            Py_INCREF(previous_object);
            PyTuple_SET_ITEM(t, i++, previous_object);
            continue;
        }
        previous_object = value(v).release().ptr();
        PyTuple_SET_ITEM(t, i++, previous_object);  // the tuple owns it; kept here borrowed
        previous = std::move(v);
    }
    return result;
}

template <class T, std::size_t N>
py::object value(const std::array<T, N>& items) {
    return shared_tuple(items, [](const T& item) -> const T& { return item; });
}
template <class T>
py::object value(const std::vector<T>& items) {
    return shared_tuple(items, [](const T& item) -> const T& { return item; });
}

// One column: a tuple holding `get(element)` for every element.
template <class Element, class Get>
py::tuple column(const std::vector<Element>& elements, Get get) {
    return shared_tuple(elements, get);
}

std::array<double, kOwnerCount> fractions(const Ownership& o) {
    return o.fraction;
}
std::array<int, kOwnerCount> owners(const Ownership& o) {
    return o.owner;
}

// ------------------------------------------------------------------ buses

// A row of the bus table: a real bus, or the star point of a three-winding
// transformer shown as an internal bus.
struct BusRow {
    int number;
    std::string name;
    double base_kv;
    int type;
    int area;
    int zone;
    int owner;
    double vm;
    double va_deg;
    double nmaxv;
    double nminv;
    double emaxv;
    double eminv;
};

std::vector<BusRow> bus_rows(const Case& c) {
    std::vector<BusRow> rows;
    rows.reserve(c.buses.size());
    for (const Bus& b : c.buses) {
        rows.push_back(BusRow{b.number, b.name, b.base_kv, b.type, b.area, b.zone, b.owner, b.vm, b.va_deg,
                              b.normal_vmax, b.normal_vmin, b.emergency_vmax, b.emergency_vmin});
    }
    CaseIndex index;
    for (const StarPoint& p : star_points(c)) {
        const Transformer& t = c.transformers[p.transformer];
        const auto winding1 = index.bus(c, t.bus1);
        const Bus defaults;
        const Bus& host = winding1 ? c.buses[*winding1] : defaults;
        rows.push_back(BusRow{p.number, "", 1.0, t.status == 0 ? kIsolatedBus : kLoadBus, host.area,
                              host.zone, host.owner, t.star_vm, t.star_va_deg, defaults.normal_vmax,
                              defaults.normal_vmin, defaults.emergency_vmax, defaults.emergency_vmin});
    }
    return rows;
}

py::dict bus_table(const Case& c) {
    const std::vector<BusRow> rows = bus_rows(c);
    py::dict t;
    t["NUM"] = column(rows, [](const BusRow& r) { return r.number; });
    t["NAME"] = column(rows, [](const BusRow& r) { return r.name; });
    t["BASKV"] = column(rows, [](const BusRow& r) { return r.base_kv; });
    t["IDE"] = column(rows, [](const BusRow& r) { return r.type; });
    t["AREA"] = column(rows, [](const BusRow& r) { return r.area; });
    t["ZONE"] = column(rows, [](const BusRow& r) { return r.zone; });
    t["OWNER"] = column(rows, [](const BusRow& r) { return r.owner; });
    t["VM"] = column(rows, [](const BusRow& r) { return r.vm; });
    t["VA"] = column(rows, [](const BusRow& r) { return r.va_deg; });
    t["NMAXV"] = column(rows, [](const BusRow& r) { return r.nmaxv; });
    t["NMINV"] = column(rows, [](const BusRow& r) { return r.nminv; });
    t["EMAXV"] = column(rows, [](const BusRow& r) { return r.emaxv; });
    t["EMINV"] = column(rows, [](const BusRow& r) { return r.eminv; });
    t["IERR"] = 0;
    return t;
}

// --------------------------------------------------------------- branches

py::dict line_table(const Case& c) {
    const auto& l = c.lines;
    py::dict t;
    t["FRMBUS"] = column(l, [](const LineBranch& b) { return b.from_bus; });
    t["TOBUS"] = column(l, [](const LineBranch& b) { return b.to_bus; });
    t["CKT"] = column(l, [](const LineBranch& b) { return b.ckt; });
    t["STAT"] = column(l, [](const LineBranch& b) { return b.status; });
    t["METBUS"] = column(l, [](const LineBranch& b) { return metered_bus(b); });
    t["OWNER"] = column(l, [](const LineBranch& b) { return owners(b.ownership); });
    t["OWNPCT"] = column(l, [](const LineBranch& b) { return fractions(b.ownership); });
    t["RX"] = column(l, [](const LineBranch& b) { return Complex{b.r, b.x}; });
    t["B"] = column(l, [](const LineBranch& b) { return b.b; });
    t["GBI"] = column(l, [](const LineBranch& b) { return b.from_shunt; });
    t["GBJ"] = column(l, [](const LineBranch& b) { return b.to_shunt; });
    t["LINLEN"] = column(l, [](const LineBranch& b) { return b.length; });
    t["RATINGS"] = column(l, [](const LineBranch& b) { return b.ratings; });
    t["BRNAME"] = column(l, [](const LineBranch& b) { return b.name; });
    return t;
}

// Per-winding value of a transformer: all three windings of a three-winding
// transformer; winding 1 alone of a two-winding one (winding 2 also for the
// ratio and nominal voltage, `with_winding2`), the unused entries 0.
template <class T, class Get>
std::array<T, 3> per_winding(const Transformer& t, Get get, bool with_winding2 = false) {
    std::array<T, 3> out{};
    for (std::size_t w = 0; w < 3; ++w) {
        if (t.is_three_winding() || w == 0 || (w == 1 && with_winding2)) out[w] = get(t.windings[w]);
    }
    return out;
}

template <class Get>
std::array<Complex, 3> per_pair(const Transformer& t, Get get) {
    std::array<Complex, 3> out{};
    for (std::size_t p = 0; p < (t.is_three_winding() ? 3u : 1u); ++p) out[p] = get(t.impedance[p]);
    return out;
}

py::dict transformer_table(const Case& c) {
    const auto& x = c.transformers;
    using T = Transformer;
    using W = Winding;
    py::dict t;
    t["BUSNUM"] = column(x, [](const T& e) { return std::array<int, 3>{e.bus1, e.bus2, e.bus3}; });
    t["CKT"] = column(x, [](const T& e) { return e.ckt; });
    t["STAT"] = column(x, [](const T& e) { return e.status; });
    // Two windings: the metered end; three windings: the winding that is
    // not metered. Either is the bus the creation call takes back.
    t["METBUS"] =
        column(x, [](const T& e) { return e.is_three_winding() ? non_metered_bus(e) : metered_bus(e); });
    t["CW"] = column(x, [](const T& e) { return e.winding_code; });
    t["CZ"] = column(x, [](const T& e) { return e.impedance_code; });
    t["CM"] = column(x, [](const T& e) { return e.magnetizing_code; });
    t["MAG1"] = column(x, [](const T& e) { return e.mag1; });
    t["MAG2"] = column(x, [](const T& e) { return e.mag2; });
    t["TRNAME"] = column(x, [](const T& e) { return e.name; });
    t["VECGRP"] = column(x, [](const T& e) { return e.vector_group; });
    t["ZCOD"] = column(x, [](const T& e) { return e.impedance_correction_code; });
    t["OWNER"] = column(x, [](const T& e) { return owners(e.ownership); });
    t["OWNPCT"] = column(x, [](const T& e) { return fractions(e.ownership); });
    t["NTAPS"] =
        column(x, [](const T& e) { return per_winding<int>(e, [](const W& w) { return w.tap_positions; }); });
    t["TABLE"] = column(
        x, [](const T& e) { return per_winding<int>(e, [](const W& w) { return w.correction_table; }); });
    t["CONBUS"] = column(
        x, [](const T& e) { return per_winding<int>(e, [](const W& w) { return w.controlled_bus; }); });
    t["NOD"] = column(
        x, [](const T& e) { return per_winding<int>(e, [](const W& w) { return w.controlled_node; }); });
    t["CNTL"] =
        column(x, [](const T& e) { return per_winding<int>(e, [](const W& w) { return w.control_mode; }); });
    t["WIND"] = column(x, [](const T& e) {
        return per_winding<double>(
            e, [](const W& w) { return w.ratio; }, true);
    });
    t["NOMV"] = column(x, [](const T& e) {
        return per_winding<double>(
            e, [](const W& w) { return w.nominal_kv; }, true);
    });
    t["ANG"] =
        column(x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.angle_deg; }); });
    t["RMAX"] =
        column(x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.rmax; }); });
    t["RMIN"] =
        column(x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.rmin; }); });
    t["VMAX"] =
        column(x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.vmax; }); });
    t["VMIN"] =
        column(x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.vmin; }); });
    t["CNXA"] = column(
        x, [](const T& e) { return per_winding<double>(e, [](const W& w) { return w.connection_angle; }); });
    t["XFRCMP"] = column(x, [](const T& e) {
        return per_winding<Complex>(e, [](const W& w) { return w.load_drop_compensation; });
    });
    t["SBASE"] = column(x, [](const T& e) {
        std::array<double, 3> out{};
        for (std::size_t p = 0; p < (e.is_three_winding() ? 3u : 1u); ++p) out[p] = e.impedance[p].sbase;
        return out;
    });
    t["RX"] = column(x, [](const T& e) {
        return per_pair(e, [](const WindingPairImpedance& z) { return Complex{z.r, z.x}; });
    });
    t["RATINGS"] =
        column(x, [](const T& e) { return per_winding<Ratings>(e, [](const W& w) { return w.ratings; }); });
    return t;
}

// --------------------------------------------------------------- machines

py::dict machine_table(const Case& c) {
    CaseIndex index;
    const Plant no_plant;
    std::vector<const Plant*> plant_of;
    plant_of.reserve(c.machines.size());
    for (const Machine& m : c.machines) {
        const auto p = index.plant(c, m.bus);
        plant_of.push_back(p ? &c.plants[*p] : &no_plant);
    }
    // Columns over positions, so that plant fields can be looked up.
    std::vector<std::size_t> at(c.machines.size());
    for (std::size_t i = 0; i < at.size(); ++i) at[i] = i;
    const auto& ms = c.machines;
    auto m = [&ms](std::size_t i) -> const Machine& { return ms[i]; };
    py::dict t;
    t["NUM"] = column(at, [&](std::size_t i) { return m(i).bus; });
    t["IDE"] = column(at, [&](std::size_t i) { return m(i).id; });
    t["IREG"] = column(at, [&](std::size_t i) { return plant_of[i]->regulated_bus; });
    t["NREG"] = column(at, [&](std::size_t i) { return plant_of[i]->regulated_node; });
    t["VS"] = column(at, [&](std::size_t i) { return plant_of[i]->scheduled_voltage; });
    t["RMPCT"] = column(at, [&](std::size_t i) { return m(i).rmpct; });
    t["STAT"] = column(at, [&](std::size_t i) { return m(i).status; });
    t["WMOD"] = column(at, [&](std::size_t i) { return m(i).wind_mode; });
    t["BASLOD"] = column(at, [&](std::size_t i) { return m(i).base_load; });
    t["OWNER"] = column(at, [&](std::size_t i) { return owners(m(i).ownership); });
    t["OWNPCT"] = column(at, [&](std::size_t i) { return fractions(m(i).ownership); });
    t["PG"] = column(at, [&](std::size_t i) { return m(i).pg / kPowerScale; });
    t["QG"] = column(at, [&](std::size_t i) { return m(i).qg / kPowerScale; });
    t["QT"] = column(at, [&](std::size_t i) { return m(i).qmax / kPowerScale; });
    t["QB"] = column(at, [&](std::size_t i) { return m(i).qmin / kPowerScale; });
    t["PT"] = column(at, [&](std::size_t i) { return m(i).pmax / kPowerScale; });
    t["PB"] = column(at, [&](std::size_t i) { return m(i).pmin / kPowerScale; });
    t["MBASE"] = column(at, [&](std::size_t i) { return m(i).mbase; });
    t["GTAP"] = column(at, [&](std::size_t i) { return m(i).step_up_ratio; });
    t["WPF"] = column(at, [&](std::size_t i) { return m(i).wind_power_factor; });
    t["ZSORCE"] = column(at, [&](std::size_t i) { return m(i).source_impedance; });
    t["XTRAN"] = column(at, [&](std::size_t i) { return m(i).step_up_impedance; });
    t["MCNAME"] = column(at, [&](std::size_t i) { return m(i).name; });
    return t;
}

py::dict induction_machine_table(const Case& c) {
    const auto& x = c.induction_machines;
    using M = InductionMachine;
    py::dict t;
    t["NUM"] = column(x, [](const M& e) { return e.bus; });
    t["ID"] = column(x, [](const M& e) { return e.id; });
    t["STATUS"] = column(x, [](const M& e) { return e.status; });
    t["AREA"] = column(x, [](const M& e) { return e.area; });
    t["ZONE"] = column(x, [](const M& e) { return e.zone; });
    t["OWNER"] = column(x, [](const M& e) { return e.owner; });
    t["SCODE"] = column(x, [](const M& e) { return e.scode; });
    t["DCODE"] = column(x, [](const M& e) { return e.dcode; });
    t["TCODE"] = column(x, [](const M& e) { return e.tcode; });
    t["BCODE"] = column(x, [](const M& e) { return e.bcode; });
    t["PCODE"] = column(x, [](const M& e) { return e.pcode; });
    const std::pair<const char*, double M::*> reals[] = {
        {"MBASE", &M::mbase}, {"RATEKV", &M::ratekv}, {"PSET", &M::pset}, {"H", &M::h},   {"A", &M::a},
        {"B", &M::b},         {"D", &M::d},           {"E", &M::e},       {"RA", &M::ra}, {"XA", &M::xa},
        {"XM", &M::xm},       {"R1", &M::r1},         {"X1", &M::x1},     {"R2", &M::r2}, {"X2", &M::x2},
        {"X3", &M::x3},       {"E1", &M::e1},         {"SE1", &M::se1},   {"E2", &M::e2}, {"SE2", &M::se2},
        {"IA1", &M::ia1},     {"IA2", &M::ia2},       {"IAM", &M::xamult}};
    for (const auto& [key, field] : reals) t[key] = column(x, [field](const M& e) { return e.*field; });
    t["IMNAME"] = column(x, [](const M& e) { return e.name; });
    return t;
}

// ------------------------------------------------------- loads and shunts

py::dict fixed_shunt_table(const Case& c) {
    const auto& x = c.fixed_shunts;
    py::dict t;
    t["NUM"] = column(x, [](const FixedShunt& e) { return e.bus; });
    t["ID"] = column(x, [](const FixedShunt& e) { return e.id; });
    t["STATUS"] = column(x, [](const FixedShunt& e) { return e.status; });
    t["SHUNT"] = column(x, [](const FixedShunt& e) { return e.admittance / kPowerScale; });
    return t;
}

py::dict switched_shunt_table(const Case& c) {
    const auto& x = c.switched_shunts;
    using S = SwitchedShunt;
    py::dict t;
    t["NUM"] = column(x, [](const S& e) { return e.bus; });
    t["ID"] = column(x, [](const S& e) { return e.id; });
    t["NI"] = column(x, [](const S& e) { return e.steps; });
    t["BI"] = column(x, [](const S& e) {
        std::array<double, kSwitchedShuntBlockCount> scaled{};
        for (std::size_t i = 0; i < scaled.size(); ++i) scaled[i] = e.mvar_per_step[i] / kPowerScale;
        return scaled;
    });
    t["SI"] = column(x, [](const S& e) { return e.block_status; });
    t["MODSW"] = column(x, [](const S& e) { return e.control_mode; });
    t["ADJM"] = column(x, [](const S& e) { return e.adjustment_method; });
    t["STAT"] = column(x, [](const S& e) { return e.status; });
    t["SWREM"] = column(x, [](const S& e) { return e.regulated_bus; });
    t["SWNOD"] = column(x, [](const S& e) { return e.regulated_node; });
    t["VSWHI"] = column(x, [](const S& e) { return e.vswhi; });
    t["VSWLO"] = column(x, [](const S& e) { return e.vswlo; });
    t["BINIT"] = column(x, [](const S& e) { return e.initial_mvar; });
    t["RMPCT"] = column(x, [](const S& e) { return e.rmpct; });
    t["RMIDNT"] = column(x, [](const S& e) { return e.vsc_name; });
    t["SWNAME"] = column(x, [](const S& e) { return e.name; });
    return t;
}

py::dict load_table(const Case& c) {
    const auto& x = c.loads;
    py::dict t;
    t["NUM"] = column(x, [](const Load& e) { return e.bus; });
    t["ID"] = column(x, [](const Load& e) { return e.id; });
    t["STATUS"] = column(x, [](const Load& e) { return e.status; });
    t["AREA"] = column(x, [](const Load& e) { return e.area; });
    t["ZONE"] = column(x, [](const Load& e) { return e.zone; });
    t["OWNER"] = column(x, [](const Load& e) { return e.owner; });
    t["LDSCALE"] = column(x, [](const Load& e) { return e.scalable; });
    t["LDINT"] = column(x, [](const Load& e) { return e.interruptible; });
    t["DGENM"] = column(x, [](const Load& e) { return e.distributed_generation_mode; });
    t["LOAD"] = column(x, [](const Load& e) {
        return std::array<Complex, 3>{e.constant_power / kPowerScale, e.constant_current / kPowerScale,
                                      e.constant_admittance / kPowerScale};
    });
    t["DGENPQ"] = column(x, [](const Load& e) { return e.distributed_generation / kPowerScale; });
    t["LDNAME"] = column(x, [](const Load& e) { return e.name; });
    return t;
}

// ------------------------------------- sections that bus renumbering rewrites

py::dict line_bus_table(const Case& c) {
    py::dict t;
    t["FRMBUS"] = column(c.lines, [](const LineBranch& b) { return b.from_bus; });
    t["TOBUS"] = column(c.lines, [](const LineBranch& b) { return b.to_bus; });
    t["METBUS"] = column(c.lines, [](const LineBranch& b) { return metered_bus(b); });
    t["CKT"] = column(c.lines, [](const LineBranch& b) { return b.ckt; });
    return t;
}

// The transformers of one kind, in case order; views into the case.
std::vector<const Transformer*> of_kind(const Case& c, bool three_winding) {
    std::vector<const Transformer*> out;
    for (const Transformer& t : c.transformers) {
        if (t.is_three_winding() == three_winding) out.push_back(&t);
    }
    return out;
}

py::dict two_winding_bus_table(const Case& c) {
    const std::vector<const Transformer*> x = of_kind(c, false);
    using T = const Transformer*;
    py::dict t;
    t["FRMBUS"] = column(x, [](T e) { return e->bus1; });
    t["TOBUS"] = column(x, [](T e) { return e->bus2; });
    t["CKT"] = column(x, [](T e) { return e->ckt; });
    t["CONBUS"] = column(x, [](T e) { return e->windings[0].controlled_bus; });
    return t;
}

py::dict three_winding_bus_table(const Case& c) {
    const std::vector<const Transformer*> x = of_kind(c, true);
    using T = const Transformer*;
    py::dict t;
    t["BUS1ST"] = column(x, [](T e) { return e->bus1; });
    t["BUS2ND"] = column(x, [](T e) { return e->bus2; });
    t["BUS3RD"] = column(x, [](T e) { return e->bus3; });
    t["CKT"] = column(x, [](T e) { return e->ckt; });
    t["NMETER"] = column(x, [](T e) { return non_metered_bus(*e); });
    return t;
}

py::dict switching_device_table(const Case& c) {
    const auto& x = c.switching_devices;
    py::dict t;
    t["FRMBUS"] = column(x, [](const SwitchingDevice& e) { return e.from_bus; });
    t["TOBUS"] = column(x, [](const SwitchingDevice& e) { return e.to_bus; });
    t["CKT"] = column(x, [](const SwitchingDevice& e) { return e.ckt; });
    t["STAT"] = column(x, [](const SwitchingDevice& e) { return e.status; });
    return t;
}

py::dict multi_section_table(const Case& c) {
    const auto& x = c.multi_section_lines;
    py::dict t;
    t["FRMBUS"] = column(x, [](const MultiSectionLine& e) { return e.from_bus; });
    t["TOBUS"] = column(x, [](const MultiSectionLine& e) { return e.to_bus; });
    t["ID"] = column(x, [](const MultiSectionLine& e) { return e.id; });
    t["METBUS"] =
        column(x, [](const MultiSectionLine& e) { return e.metered_end >= 2 ? e.to_bus : e.from_bus; });
    t["DUMBUS"] = column(x, [](const MultiSectionLine& e) { return e.dummy_buses; });
    return t;
}

struct NodeRow {
    int bus;
    int substation;
    int node;
    std::string name;
    int status;
};

py::dict substation_table(const Case& c) {
    std::vector<NodeRow> rows;
    for (const Substation& s : c.substations) {
        for (const SubstationNode& n : s.nodes)
            rows.push_back(NodeRow{n.bus, s.number, n.number, n.name, n.status});
    }
    py::dict t;
    t["NUM"] = column(rows, [](const NodeRow& r) { return r.bus; });
    t["SUBNUM"] = column(rows, [](const NodeRow& r) { return r.substation; });
    t["NODE"] = column(rows, [](const NodeRow& r) { return r.node; });
    t["NAME"] = column(rows, [](const NodeRow& r) { return r.name; });
    t["STATUS"] = column(rows, [](const NodeRow& r) { return r.status; });
    return t;
}

py::dict area_table(const Case& c) {
    const auto& x = c.areas;
    py::dict t;
    t["NUM"] = column(x, [](const Area& a) { return a.swing_bus; });
    t["AREA"] = column(x, [](const Area& a) { return a.number; });
    t["PDES"] = column(x, [](const Area& a) { return a.desired_mw; });
    t["PTOL"] = column(x, [](const Area& a) { return a.tolerance_mw; });
    t["ARNAME"] = column(x, [](const Area& a) { return a.name; });
    return t;
}

// ------------------------------------------------ DC lines, FACTS devices
//
// Values in the units of the RAW file (MW, Mvar, kV, ohms, A, kW), not per
// 100 MVA. Converter fields are pairs: (rectifier, inverter) of a
// two-terminal line, (converter 1, converter 2) of a VSC line.

template <class Line, class Get>
auto both_ends(const Line& l, Get get) {
    using Value = decltype(get(l.rectifier));
    return std::array<Value, 2>{get(l.rectifier), get(l.inverter)};
}

py::dict two_terminal_dc_table(const Case& c) {
    const auto& x = c.two_terminal_dc_lines;
    using L = TwoTerminalDcLine;
    using V = TwoTerminalDcConverter;
    py::dict t;
    t["NAME"] = column(x, [](const L& e) { return e.name; });
    t["MDC"] = column(x, [](const L& e) { return e.control_mode; });
    t["CCCITMX"] = column(x, [](const L& e) { return e.ccc_iteration_limit; });
    t["METER"] = column(x, [](const L& e) { return e.metered_end; });
    const std::pair<const char*, double L::*> reals[] = {{"RDC", &L::resistance},
                                                         {"SETVL", &L::setpoint},
                                                         {"VSCHD", &L::scheduled_kv},
                                                         {"VCMOD", &L::mode_switch_kv},
                                                         {"RCOMP", &L::compounding_resistance},
                                                         {"DELTI", &L::current_margin},
                                                         {"DCVMIN", &L::min_compounded_kv},
                                                         {"CCCACC", &L::ccc_acceleration}};
    for (const auto& [key, field] : reals) t[key] = column(x, [field](const L& e) { return e.*field; });
    const std::pair<const char*, int V::*> ints[] = {{"IP", &V::bus},
                                                     {"NB", &V::bridges},
                                                     {"IC", &V::firing_angle_bus},
                                                     {"ND", &V::firing_angle_node},
                                                     {"IF", &V::tap_control_from_bus},
                                                     {"IT", &V::tap_control_to_bus}};
    for (const auto& [key, field] : ints)
        t[key] =
            column(x, [field](const L& e) { return both_ends(e, [field](const V& v) { return v.*field; }); });
    const std::pair<const char*, double V::*> converter_reals[] = {{"ANMX", &V::max_angle_deg},
                                                                   {"ANMN", &V::min_angle_deg},
                                                                   {"RC", &V::commutating_resistance},
                                                                   {"XC", &V::commutating_reactance},
                                                                   {"EBAS", &V::base_kv},
                                                                   {"TR", &V::transformer_ratio},
                                                                   {"TAP", &V::tap},
                                                                   {"TMX", &V::tap_max},
                                                                   {"TMN", &V::tap_min},
                                                                   {"STP", &V::tap_step},
                                                                   {"XCAP", &V::capacitor_reactance}};
    for (const auto& [key, field] : converter_reals)
        t[key] =
            column(x, [field](const L& e) { return both_ends(e, [field](const V& v) { return v.*field; }); });
    t["ID"] =
        column(x, [](const L& e) { return both_ends(e, [](const V& v) { return v.tap_control_ckt; }); });
    return t;
}

py::dict vsc_dc_table(const Case& c) {
    const auto& x = c.vsc_dc_lines;
    using L = VscDcLine;
    using V = VscConverter;
    py::dict t;
    t["NAME"] = column(x, [](const L& e) { return e.name; });
    t["MDC"] = column(x, [](const L& e) { return e.status; });
    t["RDC"] = column(x, [](const L& e) { return e.resistance; });
    t["OWNER"] = column(x, [](const L& e) { return owners(e.ownership); });
    t["OWNPCT"] = column(x, [](const L& e) { return fractions(e.ownership); });
    const std::pair<const char*, int V::*> ints[] = {{"IBUS", &V::bus},
                                                     {"TYPE", &V::dc_control},
                                                     {"MODE", &V::ac_control},
                                                     {"VSREG", &V::regulated_bus},
                                                     {"NREG", &V::regulated_node}};
    for (const auto& [key, field] : ints)
        t[key] = column(x, [field](const L& e) {
            return std::array<int, 2>{e.converters[0].*field, e.converters[1].*field};
        });
    const std::pair<const char*, double V::*> reals[] = {
        {"DCSET", &V::dc_setpoint},   {"ACSET", &V::ac_setpoint},   {"ALOSS", &V::loss_a},
        {"BLOSS", &V::loss_b},        {"MINLOSS", &V::min_loss},    {"SMAX", &V::mva_rating},
        {"IMAX", &V::current_rating}, {"PWF", &V::power_weighting}, {"MAXQ", &V::qmax},
        {"MINQ", &V::qmin},           {"RMPCT", &V::rmpct}};
    for (const auto& [key, field] : reals)
        t[key] = column(x, [field](const L& e) {
            return std::array<double, 2>{e.converters[0].*field, e.converters[1].*field};
        });
    return t;
}

py::dict multi_terminal_dc_table(const Case& c) {
    const auto& x = c.multi_terminal_dc_lines;
    using L = MultiTerminalDcLine;
    py::dict t;
    t["NAME"] = column(x, [](const L& e) { return e.name; });
    t["MDC"] = column(x, [](const L& e) { return e.control_mode; });
    t["VCONV"] = column(x, [](const L& e) { return e.voltage_controlling_bus; });
    t["VCMOD"] = column(x, [](const L& e) { return e.mode_switch_kv; });
    t["VCONVN"] = column(x, [](const L& e) { return e.negative_voltage_controlling_bus; });
    t["NCONV"] = column(x, [](const L& e) { return static_cast<int>(e.converters.size()); });
    t["NDCBS"] = column(x, [](const L& e) { return static_cast<int>(e.dc_buses.size()); });
    t["NDCLN"] = column(x, [](const L& e) { return static_cast<int>(e.links.size()); });
    t["IB"] = column(x, [](const L& e) {
        std::vector<int> buses;
        for (const MultiTerminalDcConverter& v : e.converters) buses.push_back(v.bus);
        return buses;
    });
    return t;
}

py::dict facts_table(const Case& c) {
    const auto& x = c.facts_devices;
    using F = FactsDevice;
    py::dict t;
    t["NAME"] = column(x, [](const F& e) { return e.name; });
    const std::pair<const char*, int F::*> ints[] = {{"I", &F::sending_bus},
                                                     {"J", &F::terminal_bus},
                                                     {"MODE", &F::mode},
                                                     {"OWNER", &F::owner},
                                                     {"VSREF", &F::series_voltage_reference},
                                                     {"FCREG", &F::regulated_bus},
                                                     {"NREG", &F::regulated_node}};
    for (const auto& [key, field] : ints) t[key] = column(x, [field](const F& e) { return e.*field; });
    const std::pair<const char*, double F::*> reals[] = {{"PDES", &F::p_desired},
                                                         {"QDES", &F::q_desired},
                                                         {"VSET", &F::voltage_setpoint},
                                                         {"SHMX", &F::shunt_max},
                                                         {"TRMX", &F::bridge_max},
                                                         {"VTMN", &F::terminal_vmin},
                                                         {"VTMX", &F::terminal_vmax},
                                                         {"VSMX", &F::series_vmax},
                                                         {"IMX", &F::series_imax},
                                                         {"LINX", &F::dummy_reactance},
                                                         {"RMPCT", &F::rmpct},
                                                         {"SET1", &F::set1},
                                                         {"SET2", &F::set2}};
    for (const auto& [key, field] : reals) t[key] = column(x, [field](const F& e) { return e.*field; });
    t["MNAME"] = column(x, [](const F& e) { return e.master_name; });
    return t;
}

py::dict impedance_correction_table(const Case& c) {
    const auto& x = c.impedance_correction_tables;
    using T = ImpedanceCorrectionTable;
    py::dict t;
    t["NUM"] = column(x, [](const T& e) { return e.number; });
    t["NPOINTS"] = column(x, [](const T& e) { return static_cast<int>(e.points.size()); });
    t["T"] = column(x, [](const T& e) {
        std::vector<double> values;
        for (const CorrectionPoint& p : e.points) values.push_back(p.t);
        return values;
    });
    t["F"] = column(x, [](const T& e) {
        std::vector<Complex> values;
        for (const CorrectionPoint& p : e.points) values.push_back(p.factor);
        return values;
    });
    return t;
}

py::dict inter_area_transfer_table(const Case& c) {
    const auto& x = c.inter_area_transfers;
    using T = InterAreaTransfer;
    py::dict t;
    t["ARFROM"] = column(x, [](const T& e) { return e.from_area; });
    t["ARTO"] = column(x, [](const T& e) { return e.to_area; });
    t["TRID"] = column(x, [](const T& e) { return e.id; });
    t["PTRAN"] = column(x, [](const T& e) { return e.mw; });
    return t;
}

}  // namespace

const std::vector<CaseTable>& case_tables() {
    static const std::vector<CaseTable> tables{
        {"pssbus", [](const Case& c) -> py::object { return bus_table(c); }},
        {"casbrn", [](const Case& c) -> py::object { return line_table(c); }},
        {"cas_nbrn", [](const Case& c) -> py::object { return py::int_(c.lines.size()); }},
        {"castrn", [](const Case& c) -> py::object { return transformer_table(c); }},
        {"cas_ntrn", [](const Case& c) -> py::object { return py::int_(c.transformers.size()); }},
        {"pssgen", [](const Case& c) -> py::object { return machine_table(c); }},
        {"pssfsh", [](const Case& c) -> py::object { return fixed_shunt_table(c); }},
        {"psswsh", [](const Case& c) -> py::object { return switched_shunt_table(c); }},
        {"psslod", [](const Case& c) -> py::object { return load_table(c); }},
        {"pssind", [](const Case& c) -> py::object { return induction_machine_table(c); }},
        {"pssbrn", [](const Case& c) -> py::object { return line_bus_table(c); }},
        {"psstrn", [](const Case& c) -> py::object { return two_winding_bus_table(c); }},
        {"pss3wt", [](const Case& c) -> py::object { return three_winding_bus_table(c); }},
        {"pssabx", [](const Case& c) -> py::object { return switching_device_table(c); }},
        {"pssmsl", [](const Case& c) -> py::object { return multi_section_table(c); }},
        {"psssub", [](const Case& c) -> py::object { return substation_table(c); }},
        {"pssald", [](const Case& c) -> py::object { return area_table(c); }},
        {"pss2dc", [](const Case& c) -> py::object { return two_terminal_dc_table(c); }},
        {"pssvsc", [](const Case& c) -> py::object { return vsc_dc_table(c); }},
        {"pssmdc", [](const Case& c) -> py::object { return multi_terminal_dc_table(c); }},
        {"pssfct", [](const Case& c) -> py::object { return facts_table(c); }},
        {"pssict", [](const Case& c) -> py::object { return impedance_correction_table(c); }},
        {"pssitr", [](const Case& c) -> py::object { return inter_area_transfer_table(c); }},
    };
    return tables;
}

}  // namespace velquin::sim::python
