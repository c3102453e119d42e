#include "operations/impedance_correction_operations.hpp"

#include <cmath>
#include <limits>

#include "operations/checks.hpp"

namespace velquin::sim {

OperationResult set_impedance_correction_data(Case& c, CaseIndex& index, const ImpedanceCorrectionData& d) {
    Checks checks(c, index);
    checks.range("table", OptionalInt{d.number}, 1, std::numeric_limits<int>::max());
    if (checks.ok() && d.points.size() > static_cast<std::size_t>(kMaxCorrectionPoints))
        checks.fail(ElementCode::kInvalidValue,
                    "a table holds at most " + std::to_string(kMaxCorrectionPoints) + " points");
    for (std::size_t k = 0; k < d.points.size(); ++k) {
        const std::string n = std::to_string(k + 1);
        checks.finite({{"T" + n, &d.points[k].t},
                       {"Re(F" + n + ")", &d.points[k].factor_re},
                       {"Im(F" + n + ")", &d.points[k].factor_im}});
    }
    if (!checks.ok()) return checks.result();

    ImpedanceCorrectionTable* existing = nullptr;
    for (ImpedanceCorrectionTable& t : c.impedance_correction_tables)
        if (t.number == d.number) existing = &t;
    ImpedanceCorrectionTable table = existing ? *existing : ImpedanceCorrectionTable{d.number, {}};
    for (std::size_t k = 0; k < d.points.size(); ++k) {
        const CorrectionPointData& given = d.points[k];
        if (!given.t && !given.factor_re && !given.factor_im) continue;
        if (given.t.value_or(1.0) == 0.0 && given.factor_re.value_or(1.0) == 0.0 &&
            given.factor_im.value_or(1.0) == 0.0) {
            if (table.points.size() > k) table.points.resize(k);
            break;
        }
        if (k >= table.points.size()) table.points.resize(k + 1);
        CorrectionPoint& p = table.points[k];
        if (given.t) p.t = *given.t;
        if (given.factor_re) p.factor.real(*given.factor_re);
        if (given.factor_im) p.factor.imag(*given.factor_im);
    }
    for (std::size_t k = 0; k < table.points.size(); ++k) {
        const std::string n = std::to_string(k + 1);
        if (k > 0 && !(table.points[k].t > table.points[k - 1].t))
            return refuse(ElementCode::kInvalidValue, "T" + n + " does not increase on T" +
                                                          std::to_string(k) + " (table " +
                                                          std::to_string(d.number) + ")");
        if (!(table.points[k].factor.real() > 0.0))
            return refuse(ElementCode::kInvalidValue,
                          "Re(F" + n + ") must be positive (table " + std::to_string(d.number) + ")");
    }
    if (existing)
        *existing = std::move(table);
    else
        c.impedance_correction_tables.push_back(std::move(table));
    return OperationResult::done();
}

}  // namespace velquin::sim
