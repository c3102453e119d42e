// MATPOWER case files mapped onto the simulator's case model so that a load
// flow of the result reproduces MATPOWER's own solution:
// - bus Pd/Qd: a constant-power load "1"; Gs/Bs: a fixed shunt "1";
// - generators: machines "1", "2", ... per bus in row order, one plant per
//   bus holding the voltage set point of its first in-service generator;
// - branches: lines, or two-winding transformers (tap on the from side,
//   codes CW 1, CZ 1, CM 1). A ratio of 1 without phase shift is a
//   transformer only when the two buses have different base voltages (it is
//   electrically a line otherwise). A transformer's line charging b becomes
//   b/(2 ratio^2) of magnetising susceptance at the from side and a fixed
//   shunt "T1", "T2", ... of b/2 at the to bus, with the branch's status.
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>

#include "formats/matpower_format.hpp"
#include "formats/matpower_script.hpp"

namespace velquin::sim {

namespace {

constexpr double kUnlimited = 9999.0;

struct Column {
    int index;  // 0-based
    const char* name;
};

// MATPOWER column positions (1-based in its documentation).
namespace bus_col {
constexpr Column kNumber{0, "BUS_I"}, kType{1, "BUS_TYPE"}, kPd{2, "PD"}, kQd{3, "QD"}, kGs{4, "GS"},
    kBs{5, "BS"}, kArea{6, "BUS_AREA"}, kVm{7, "VM"}, kVa{8, "VA"}, kBaseKv{9, "BASE_KV"}, kZone{10, "ZONE"},
    kVmax{11, "VMAX"}, kVmin{12, "VMIN"};
constexpr int kRequired = 13;
}  // namespace bus_col
namespace gen_col {
constexpr Column kBus{0, "GEN_BUS"}, kPg{1, "PG"}, kQg{2, "QG"}, kQmax{3, "QMAX"}, kQmin{4, "QMIN"},
    kVg{5, "VG"}, kMbase{6, "MBASE"}, kStatus{7, "GEN_STATUS"}, kPmax{8, "PMAX"}, kPmin{9, "PMIN"};
constexpr int kRequired = 10;
}  // namespace gen_col
namespace branch_col {
constexpr Column kFrom{0, "F_BUS"}, kTo{1, "T_BUS"}, kR{2, "BR_R"}, kX{3, "BR_X"}, kB{4, "BR_B"},
    kRateA{5, "RATE_A"}, kRateB{6, "RATE_B"}, kRateC{7, "RATE_C"}, kTap{8, "TAP"}, kShift{9, "SHIFT"},
    kStatus{10, "BR_STATUS"};
constexpr int kRequired = 11;
}  // namespace branch_col

// Fields read and deliberately not used: cost and fuel data, and the
// version tag (the two versions agree on every column read here).
const std::set<std::string, std::less<>> kIgnoredFields = {"version", "gencost",    "gentype",
                                                           "genfuel", "dclinecost", "areas"};

class MatrixReader {
public:
    MatrixReader(const std::string& source, const std::string& matrix, const MatpowerValue& value)
        : source_(source), matrix_(matrix), value_(value) {}

    void require_columns(int count) const {
        for (std::size_t r = 0; r < value_.rows.size(); ++r) {
            const auto& row = value_.rows[r];
            if (static_cast<int>(row.values.size()) < count)
                throw FormatError(source_, row.line, matrix_ + " row " + std::to_string(r + 1),
                                  "has " + std::to_string(row.values.size()) + " columns, at least " +
                                      std::to_string(count) + " are needed");
        }
    }

    std::string field(std::size_t row, Column column) const {
        return matrix_ + " row " + std::to_string(row + 1) + " column " + std::to_string(column.index + 1) +
               " (" + column.name + ")";
    }

    [[noreturn]] void fail(std::size_t row, Column column, const std::string& problem) const {
        throw FormatError(source_, value_.rows[row].line, field(row, column), problem);
    }

    double finite(std::size_t row, Column column) const {
        const double v = value_.rows[row].values[column.index];
        if (!std::isfinite(v)) fail(row, column, "must be a finite number");
        return v;
    }

    // Limits may be infinite in MATPOWER; the model's "unlimited" is 9999.
    double limit(std::size_t row, Column column) const {
        const double v = value_.rows[row].values[column.index];
        if (std::isnan(v)) fail(row, column, "must be a number");
        if (std::isinf(v)) return v > 0 ? kUnlimited : -kUnlimited;
        return v;
    }

    // MATPOWER's rating 0 means unlimited, as does an infinite one.
    double rating(std::size_t row, Column column) const {
        const double v = value_.rows[row].values[column.index];
        if (std::isnan(v)) fail(row, column, "must be a number");
        return std::isinf(v) ? 0.0 : v;
    }

    int integer(std::size_t row, Column column) const {
        const double v = finite(row, column);
        if (v != std::floor(v) || std::fabs(v) > 2.0e9) fail(row, column, "must be an integer");
        return static_cast<int>(v);
    }

    int line(std::size_t row) const { return value_.rows[row].line; }
    std::size_t size() const { return value_.rows.size(); }

private:
    const std::string& source_;
    std::string matrix_;
    const MatpowerValue& value_;
};

// Circuit identifiers "1", "2", ... per unordered bus pair, shared by lines
// and transformers so that every branch between two buses is distinct.
class CircuitNumbering {
public:
    std::string next(int a, int b) {
        const auto key = a < b ? std::make_pair(a, b) : std::make_pair(b, a);
        return std::to_string(++count_[key]);
    }

private:
    std::map<std::pair<int, int>, int> count_;
};

std::string charging_shunt_id(int ordinal) {
    // T1..T9, then TA..TZ, then longer identifiers (never seen in practice).
    if (ordinal <= 9) return "T" + std::to_string(ordinal);
    if (ordinal <= 35) return std::string("T") + static_cast<char>('A' + ordinal - 10);
    return "T" + std::to_string(ordinal);
}

class CaseBuilder {
public:
    CaseBuilder(const std::string& source, ImportReport* report) : source_(source), report_(report) {}

    Case build(const std::vector<MatpowerAssignment>& assignments) {
        const MatpowerValue* base_mva = nullptr;
        const MatpowerValue* bus = nullptr;
        const MatpowerValue* gen = nullptr;
        const MatpowerValue* branch = nullptr;
        const MatpowerValue* bus_name = nullptr;
        for (const auto& a : assignments) {
            const MatpowerValue* v = &a.value;
            if (a.target == "baseMVA")
                base_mva = v;
            else if (a.target == "bus")
                bus = v;
            else if (a.target == "gen")
                gen = v;
            else if (a.target == "branch")
                branch = v;
            else if (a.target == "bus_name")
                bus_name = v;
            else if (a.target == "dcline")
                // MATPOWER's DC line is a transfer with a loss linear in
                // the power sent; neither the two-terminal nor the VSC
                // model reproduces that loss exactly, so it is left out
                // rather than approximated.
                warn(v->line, std::to_string(v->rows.size()) +
                                  " DC line(s) of field 'dcline' not imported: their loss model has no exact "
                                  "counterpart here");
            else if (kIgnoredFields.count(a.target) == 0)
                warn(v->line, "field '" + a.target + "' is not imported");
        }
        if (base_mva == nullptr) throw FormatError(source_, 0, "baseMVA", "missing");
        if (bus == nullptr) throw FormatError(source_, 0, "bus", "missing");
        if (base_mva->kind != MatpowerValue::Kind::Number || !std::isfinite(base_mva->number) ||
            base_mva->number <= 0.0)
            throw FormatError(source_, base_mva->line, "baseMVA", "must be a positive number");
        case_.identification.base_mva = base_mva->number;

        read_buses(*bus, bus_name);
        if (gen != nullptr) read_generators(*gen);
        if (branch != nullptr) read_branches(*branch);
        return std::move(case_);
    }

private:
    void warn(int line, const std::string& message) const {
        if (report_ != nullptr)
            report_->warnings.push_back(source_ + ":" + std::to_string(line) + ": " + message);
    }

    void require_matrix(const MatpowerValue& v, const std::string& name) const {
        if (v.kind != MatpowerValue::Kind::Matrix)
            throw FormatError(source_, v.line, name, "must be a numeric matrix");
    }

    void read_buses(const MatpowerValue& value, const MatpowerValue* names) {
        require_matrix(value, "bus");
        MatrixReader m(source_, "bus", value);
        m.require_columns(bus_col::kRequired);
        if (names != nullptr) {
            if (names->kind != MatpowerValue::Kind::Cell)
                throw FormatError(source_, names->line, "bus_name", "must be a cell array of names");
            if (names->cells.size() != m.size())
                throw FormatError(source_, names->line, "bus_name",
                                  "has " + std::to_string(names->cells.size()) + " names for " +
                                      std::to_string(m.size()) + " buses");
        }
        case_.buses.reserve(m.size());
        for (std::size_t r = 0; r < m.size(); ++r) {
            Bus b;
            b.number = m.integer(r, bus_col::kNumber);
            if (b.number < 1 || b.number > kMaxUserBusNumber)
                m.fail(r, bus_col::kNumber,
                       "bus number must be between 1 and " + std::to_string(kMaxUserBusNumber));
            if (!bus_index_.emplace(b.number, case_.buses.size()).second)
                m.fail(r, bus_col::kNumber, "bus " + std::to_string(b.number) + " appears twice");
            b.type = m.integer(r, bus_col::kType);
            if (b.type < kLoadBus || b.type > kIsolatedBus)
                m.fail(r, bus_col::kType, "bus type must be 1, 2, 3 or 4");
            b.area = m.integer(r, bus_col::kArea);
            b.zone = m.integer(r, bus_col::kZone);
            b.vm = m.finite(r, bus_col::kVm);
            b.va_deg = m.finite(r, bus_col::kVa);
            b.base_kv = m.finite(r, bus_col::kBaseKv);
            b.normal_vmax = m.limit(r, bus_col::kVmax);
            b.normal_vmin = m.limit(r, bus_col::kVmin);
            if (names != nullptr) {
                // Trailing blanks are padding, as in RAW names.
                std::string_view name = names->cells[r];
                while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
                b.name = std::string(name);
            }

            const double pd = m.finite(r, bus_col::kPd), qd = m.finite(r, bus_col::kQd);
            if (pd != 0.0 || qd != 0.0) {
                Load l;
                l.bus = b.number;
                l.area = b.area;
                l.zone = b.zone;
                l.constant_power = {pd, qd};
                case_.loads.push_back(std::move(l));
            }
            const double gs = m.finite(r, bus_col::kGs), bs = m.finite(r, bus_col::kBs);
            if (gs != 0.0 || bs != 0.0) {
                FixedShunt s;
                s.bus = b.number;
                s.admittance = {gs, bs};
                case_.fixed_shunts.push_back(std::move(s));
            }
            case_.buses.push_back(std::move(b));
        }
    }

    const Bus& bus_at(const MatrixReader& m, std::size_t row, Column column) const {
        const int number = m.integer(row, column);
        const auto it = bus_index_.find(number);
        if (it == bus_index_.end())
            m.fail(row, column, "bus " + std::to_string(number) + " is not in the bus data");
        return case_.buses[it->second];
    }

    void read_generators(const MatpowerValue& value) {
        require_matrix(value, "gen");
        MatrixReader m(source_, "gen", value);
        m.require_columns(gen_col::kRequired);
        std::unordered_map<int, int> machines_at_bus;
        std::unordered_map<int, std::size_t> plant_index;
        std::unordered_map<int, bool> plant_set_by_in_service;
        case_.machines.reserve(m.size());
        for (std::size_t r = 0; r < m.size(); ++r) {
            const Bus& bus = bus_at(m, r, gen_col::kBus);
            Machine g;
            g.bus = bus.number;
            g.id = std::to_string(++machines_at_bus[bus.number]);
            g.pg = m.finite(r, gen_col::kPg);
            g.qg = m.finite(r, gen_col::kQg);
            g.qmax = m.limit(r, gen_col::kQmax);
            g.qmin = m.limit(r, gen_col::kQmin);
            g.pmax = m.limit(r, gen_col::kPmax);
            g.pmin = m.limit(r, gen_col::kPmin);
            g.mbase = m.finite(r, gen_col::kMbase);
            g.status = m.finite(r, gen_col::kStatus) > 0.0 ? 1 : 0;
            const double vg = m.finite(r, gen_col::kVg);

            const bool in_service = g.status == 1;
            auto [it, created] = plant_index.emplace(bus.number, case_.plants.size());
            if (created) {
                case_.plants.push_back(Plant{.bus = bus.number, .scheduled_voltage = vg});
                plant_set_by_in_service[bus.number] = in_service;
            } else if (in_service) {
                Plant& plant = case_.plants[it->second];
                bool& set_by_in_service = plant_set_by_in_service[bus.number];
                if (!set_by_in_service) {
                    plant.scheduled_voltage = vg;
                    set_by_in_service = true;
                } else if (vg != plant.scheduled_voltage) {
                    warn(m.line(r), "generator at bus " + std::to_string(bus.number) +
                                        " asks for a different voltage set point than the first one there; "
                                        "the first one is kept");
                }
            }
            case_.machines.push_back(std::move(g));
        }
    }

    void read_branches(const MatpowerValue& value) {
        require_matrix(value, "branch");
        MatrixReader m(source_, "branch", value);
        m.require_columns(branch_col::kRequired);
        CircuitNumbering circuits;
        std::unordered_map<int, int> charging_shunts_at_bus;
        const double base_mva = case_.identification.base_mva;
        for (std::size_t r = 0; r < m.size(); ++r) {
            const Bus& from = bus_at(m, r, branch_col::kFrom);
            const Bus& to = bus_at(m, r, branch_col::kTo);
            if (from.number == to.number) m.fail(r, branch_col::kTo, "a branch cannot join a bus to itself");
            const double resistance = m.finite(r, branch_col::kR);
            const double reactance = m.finite(r, branch_col::kX);
            const double charging = m.finite(r, branch_col::kB);
            const double rate_a = m.rating(r, branch_col::kRateA);
            const double rate_b = m.rating(r, branch_col::kRateB);
            const double rate_c = m.rating(r, branch_col::kRateC);
            const double tap = m.finite(r, branch_col::kTap);
            const double shift = m.finite(r, branch_col::kShift);
            const int status = m.finite(r, branch_col::kStatus) > 0.0 ? 1 : 0;
            if (resistance == 0.0 && reactance == 0.0)
                m.fail(r, branch_col::kX, "a branch needs a non-zero impedance");

            const bool is_line = shift == 0.0 && (tap == 0.0 || (tap == 1.0 && from.base_kv == to.base_kv));
            const std::string ckt = circuits.next(from.number, to.number);
            if (is_line) {
                LineBranch l;
                l.from_bus = from.number;
                l.to_bus = to.number;
                l.ckt = ckt;
                l.r = resistance;
                l.x = reactance;
                l.b = charging;
                l.status = status;
                l.ratings[0] = rate_a;
                l.ratings[1] = rate_b;
                l.ratings[2] = rate_c;
                case_.lines.push_back(std::move(l));
                continue;
            }
            const double ratio = tap == 0.0 ? 1.0 : tap;
            Transformer t;
            t.bus1 = from.number;
            t.bus2 = to.number;
            t.ckt = ckt;
            t.status = status;
            t.mag2 = charging / (2.0 * ratio * ratio);
            t.impedance[0] = WindingPairImpedance{resistance, reactance, base_mva};
            t.windings[0].ratio = ratio;
            t.windings[0].angle_deg = shift;
            t.windings[0].ratings[0] = rate_a;
            t.windings[0].ratings[1] = rate_b;
            t.windings[0].ratings[2] = rate_c;
            t.windings[1].ratio = 1.0;
            case_.transformers.push_back(std::move(t));
            if (charging != 0.0) {
                FixedShunt s;
                s.bus = to.number;
                s.id = charging_shunt_id(++charging_shunts_at_bus[to.number]);
                s.status = status;
                s.admittance = {0.0, charging / 2.0 * base_mva};
                case_.fixed_shunts.push_back(std::move(s));
            }
        }
    }

    const std::string& source_;
    ImportReport* report_;
    Case case_;
    std::unordered_map<int, std::size_t> bus_index_;
};

}  // namespace

Case parse_matpower(std::string_view text, std::string_view source, ImportReport* report) {
    const std::string name(source);
    const auto assignments = parse_matpower_script(text, name, report);
    return CaseBuilder(name, report).build(assignments);
}

Case read_matpower_file(const std::filesystem::path& path, ImportReport* report) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FormatError(path.string(), 0, "", "cannot open the file");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw FormatError(path.string(), 0, "", "cannot read the file");
    const std::string text = buffer.str();
    return parse_matpower(text, path.string(), report);
}

}  // namespace velquin::sim
