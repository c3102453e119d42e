// The assembled Jacobian against finite differences of the mismatches, on
// networks that exercise every kind of entry: lines, off-nominal and
// phase-shifting transformers, a three-winding star with kV ratios,
// voltage-dependent loads, an induction machine and remote regulation.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "formats/raw_format.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {
namespace {

void expect_jacobian_matches_differences(const Case& c) {
    NetworkModel m = build_network(c, BuildSettings{});
    SparseLu lu;
    NewtonSolver s(m, lu);
    s.v = m.v_case;
    // Perturb the start a little so that no entry vanishes by symmetry.
    for (std::size_t i = 0; i < s.v.size(); ++i)
        s.v[i] *= std::polar(1.0 + 0.01 * std::sin(3.0 * i), 0.02 * std::cos(5.0 * i));
    NewtonSettings settings;
    s.prepare(settings);
    s.assemble();
    const std::vector<int> start = s.jacobian_row_start(), cols = s.jacobian_columns();
    const std::vector<double> values = s.jacobian_values(), f0 = s.mismatches();
    const std::size_t rows = f0.size();
    auto entry = [&](std::size_t r, int col) {
        for (int e = start[r]; e < start[r + 1]; ++e)
            if (cols[static_cast<std::size_t>(e)] == col) return values[static_cast<std::size_t>(e)];
        return 0.0;
    };
    const double h = 1e-7;
    int checked = 0;
    for (int node = 0; node < m.node_count; ++node) {
        for (int kind = 0; kind < 2; ++kind) {
            const int col = kind == 0 ? s.angle_column(node) : s.magnitude_column(node);
            if (col < 0) continue;
            const Complex keep = s.v[static_cast<std::size_t>(node)];
            s.v[static_cast<std::size_t>(node)] =
                kind == 0 ? keep * std::polar(1.0, h) : keep * ((std::abs(keep) + h) / std::abs(keep));
            s.assemble();
            const std::vector<double> f1 = s.mismatches();
            s.v[static_cast<std::size_t>(node)] = keep;
            for (std::size_t r = 0; r < rows; ++r) {
                const double numeric = (f1[r] - f0[r]) / h;
                EXPECT_NEAR(entry(r, col), numeric, 1e-4 * (1.0 + std::fabs(numeric)))
                    << "row " << r << " column " << col;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 0);
}

const std::filesystem::path kRaw = std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "raw";

TEST(LoadflowJacobian, MatchesFiniteDifferencesOnSampleNetworks) {
    for (const char* name :
         {"three_winding_test_2.raw", "ThreeMIB_T3W_phase.raw", "IEEE_14_bus_completed.raw",
          "micro_grid_assmb_v33.raw", "frankenstein_70.raw"}) {
        SCOPED_TRACE(name);
        expect_jacobian_matches_differences(read_raw_file(kRaw / name));
    }
}

TEST(LoadflowJacobian, MatchesFiniteDifferencesWithSharedRemoteRegulation) {
    Case c = read_raw_file(kRaw / "IEEE_14_bus_completed.raw");
    // Two plants hold one load bus together.
    for (Plant& p : c.plants)
        if (p.bus == 2 || p.bus == 3) p.regulated_bus = 4;
    expect_jacobian_matches_differences(c);
}

}  // namespace
}  // namespace velquin::sim::loadflow
