#include "loadflow/impedance_correction.hpp"

#include <algorithm>
#include <cmath>

#include "loadflow/branch_admittance.hpp"

namespace velquin::sim::loadflow {

Complex CorrectionCurve::at(double x) const {
    if (t.empty()) return Complex(1.0, 0.0);
    if (x <= t.front()) return factor.front();
    if (x >= t.back()) return factor.back();
    const auto hi = static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), x) - t.begin());
    const std::size_t lo = hi - 1;
    const double w = (x - t[lo]) / (t[hi] - t[lo]);
    return factor[lo] + (factor[hi] - factor[lo]) * w;
}

CorrectionCurve winding_correction_curve(const Case& c, const Transformer& t, int k,
                                         std::vector<std::string>& notes) {
    CorrectionCurve curve;
    const Winding& w = t.windings[static_cast<std::size_t>(k)];
    if (w.correction_table == 0) return curve;
    const std::string who = "Transformer " + std::to_string(t.bus1) + "-" + std::to_string(t.bus2) +
                            (t.is_three_winding() ? "-" + std::to_string(t.bus3) : "") + " '" + t.ckt +
                            "' winding " + std::to_string(k + 1);
    const auto table =
        std::find_if(c.impedance_correction_tables.begin(), c.impedance_correction_tables.end(),
                     [&](const ImpedanceCorrectionTable& x) { return x.number == w.correction_table; });
    if (table == c.impedance_correction_tables.end()) {
        notes.push_back(who + " refers to impedance correction table " + std::to_string(w.correction_table) +
                        ", which the case does not hold: nominal impedance used");
        return curve;
    }
    std::vector<CorrectionPoint> points = table->points;
    std::stable_sort(points.begin(), points.end(),
                     [](const CorrectionPoint& a, const CorrectionPoint& b) { return a.t < b.t; });
    bool usable = points.size() >= 2;
    for (std::size_t i = 0; usable && i < points.size(); ++i) {
        if (std::abs(points[i].factor) == 0.0 || !std::isfinite(points[i].t)) usable = false;
        if (i > 0 && points[i].t == points[i - 1].t) usable = false;
    }
    if (!usable) {
        notes.push_back(who + ": impedance correction table " + std::to_string(w.correction_table) +
                        " needs at least two points with distinct T and non-zero factors: nominal impedance "
                        "used");
        return curve;
    }
    const int cod = std::abs(w.control_mode);
    if (cod == 3 || cod == 5)
        curve.by_angle = true;
    else if (cod == 1 || cod == 2)
        curve.by_angle = false;
    else
        curve.by_angle = points.front().t < 0.5 || points.back().t > 1.5;
    for (const CorrectionPoint& p : points) {
        curve.t.push_back(p.t);
        curve.factor.push_back(p.factor);
    }
    return curve;
}

CorrectedTransformer transformer_correction(const Case& c, const Transformer& t, double base_mva,
                                            const std::array<double, 3>& kv,
                                            std::vector<std::string>& notes) {
    CorrectedTransformer ct;
    ct.three_winding = t.is_three_winding();
    ct.pair_correction = ct.three_winding && t.impedance_correction_code == 1;
    for (int k = 0; k < (ct.three_winding ? 3 : 1); ++k) {
        const auto ku = static_cast<std::size_t>(k);
        ct.curves[ku] = winding_correction_curve(c, t, k, notes);
        const Winding& w = t.windings[ku];
        const double nominal = w.nominal_kv > 0.0 ? w.nominal_kv : kv[ku];
        if (t.winding_code != 1 && kv[ku] > 0.0 && nominal > 0.0) ct.table_ratio_scale[ku] = kv[ku] / nominal;
        ct.pair_z[ku] = pair_impedance_pu(t, k, base_mva);
    }
    return ct;
}

std::array<Complex, 3> corrected_series_impedances(const CorrectedTransformer& ct,
                                                   const std::array<double, 3>& ratio_pu,
                                                   const std::array<double, 3>& angle_deg) {
    std::array<Complex, 3> f{Complex(1.0, 0.0), Complex(1.0, 0.0), Complex(1.0, 0.0)};
    for (std::size_t k = 0; k < 3; ++k) {
        const CorrectionCurve& curve = ct.curves[k];
        if (curve.t.empty()) continue;
        f[k] = curve.at(curve.by_angle ? angle_deg[k] : ratio_pu[k] * ct.table_ratio_scale[k]);
    }
    if (!ct.three_winding) return {ct.pair_z[0] * f[0], Complex{}, Complex{}};
    std::array<Complex, 3> pair = ct.pair_z;  // 1-2, 2-3, 3-1
    if (ct.pair_correction) {
        pair[0] *= f[0] * f[1];
        pair[1] *= f[1] * f[2];
        pair[2] *= f[2] * f[0];
    }
    std::array<Complex, 3> star{(pair[0] + pair[2] - pair[1]) / 2.0, (pair[0] + pair[1] - pair[2]) / 2.0,
                                (pair[1] + pair[2] - pair[0]) / 2.0};
    if (!ct.pair_correction)
        for (std::size_t k = 0; k < 3; ++k) star[k] *= f[k];
    return star;
}

}  // namespace velquin::sim::loadflow
