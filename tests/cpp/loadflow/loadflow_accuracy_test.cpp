// The load flow against MATPOWER's own Newton-Raphson solutions of the
// public cases, and the robust solution from a flat start on every network
// of the test data.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "formats/matpower_format.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

const std::filesystem::path kData = VELQUIN_TEST_DATA_DIR;

struct Reference {
    double vm = 0.0, va = 0.0;
};

std::map<int, Reference> read_reference(const std::string& name) {
    std::ifstream in(kData / "matpower" / "reference" / (name + ".csv"));
    std::map<int, Reference> out;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::stringstream ss(line);
        std::string a, b, c;
        std::getline(ss, a, ',');
        std::getline(ss, b, ',');
        std::getline(ss, c, ',');
        out[std::stoi(a)] = Reference{std::stod(b), std::stod(c)};
    }
    return out;
}

double angle_difference(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return std::fabs(d);
}

// MATPOWER's settings: tolerance 1e-10 pu, limits off, from the stored
// voltages; MATPOWER keeps tiny impedances as impedances.
LoadflowOptions reference_settings(const Case& c) {
    LoadflowOptions o;
    o.zero_impedance_threshold = 0.0;
    o.tolerance_mva = 1e-10 * c.identification.base_mva;
    o.max_iterations = 30;
    o.var_limits = -1;
    return o;
}

struct AccuracyCase {
    const char* name;
    int matpower_iterations;
};

class MatpowerAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(MatpowerAccuracy, AgreesWithReferenceSolution) {
    const AccuracyCase& param = GetParam();
    Case c = read_matpower_file(kData / "matpower" / (std::string(param.name) + ".m"));
    const auto reference = read_reference(param.name);
    ASSERT_EQ(reference.size(), c.buses.size());
    const LoadflowResult r = solve_loadflow(c, reference_settings(c));
    ASSERT_EQ(r.status, kSolutionConverged) << param.name;
    EXPECT_LE(std::abs(r.iterations - param.matpower_iterations), 1) << "iterations " << r.iterations;
    double worst_vm = 0.0, worst_va = 0.0;
    for (const Bus& b : c.buses) {
        const Reference& ref = reference.at(b.number);
        worst_vm = std::max(worst_vm, std::fabs(b.vm - ref.vm));
        worst_va = std::max(worst_va, angle_difference(b.va_deg, ref.va));
    }
    EXPECT_LT(worst_vm, 1e-6) << param.name;
    EXPECT_LT(worst_va, 1e-4) << param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, MatpowerAccuracy,
                         ::testing::Values(AccuracyCase{"case9", 4}, AccuracyCase{"case14", 2}, AccuracyCase{"case30", 3},
                                           AccuracyCase{"case118", 3}, AccuracyCase{"case300", 5},
                                           AccuracyCase{"case_ACTIVSg200", 2}, AccuracyCase{"case_ACTIVSg2000", 3},
                                           AccuracyCase{"case2383wp", 6}, AccuracyCase{"case6515rte", 3},
                                           AccuracyCase{"case9241pegase", 6}, AccuracyCase{"case_ACTIVSg10k", 4}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace velquin::sim
