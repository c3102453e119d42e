// How far one full Newton-Raphson solution moves each RAW network of the
// test data from the solved state the file stores: the largest change of
// |V| (pu) and of the angle (degrees) over the buses in service, with the
// adjustments locked and with the adjustment options of the network
// solve's fnsl step (taps direct, DC taps and switched shunts adjusted,
// var limits once close), and the same with area interchange control on
// (tie lines and loads), as the recipe's rsol steps ask. Not a benchmark:
// prints one table (`make` builds it; run build/bench/stored_state_table
// [files...]).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/raw_format.hpp"
#include "loadflow/loadflow.hpp"

using namespace velquin::sim;

namespace {

struct Change {
    int status = kSolutionNotAttempted;
    int iterations = 0;
    double vm = 0.0, va = 0.0;  // largest change, pu and degrees
    bool written = false;
};

double angle_difference(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return std::fabs(d);
}

Change solve_once(const Case& stored, const IntegerOptions& options) {
    Case c = stored;
    const OptionsParse p = parse_fnsl_options(&c, options);
    Change out;
    if (p.error != kSolveRan) return out;
    clear_loadflow_caches();
    const LoadflowResult r = solve_loadflow(c, p.options);
    out.status = r.status;
    out.iterations = r.iterations;
    out.written = r.written_back;
    for (std::size_t b = 0; b < c.buses.size(); ++b) {
        if (!stored.buses[b].in_service()) continue;
        out.vm = std::max(out.vm, std::fabs(c.buses[b].vm - stored.buses[b].vm));
        out.va = std::max(out.va, angle_difference(c.buses[b].va_deg, stored.buses[b].va_deg));
    }
    return out;
}

std::string cell(const Change& ch) {
    char text[96];
    std::snprintf(text, sizeof text, "%2d %3d %9.2e %9.2e%s", ch.status, ch.iterations, ch.vm, ch.va,
                  ch.written ? "" : "*");
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int k = 1; k < argc; ++k) files.emplace_back(argv[k]);
    if (files.empty()) {
        for (const auto& e :
             std::filesystem::directory_iterator(std::filesystem::path(VELQUIN_DATA_DIR) / "raw")) {
            const auto ext = e.path().extension().string();
            if (ext == ".raw" || ext == ".RAW") files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
    }
    // Locked: every adjustment off, from the stored voltages, limits once close.
    const IntegerOptions locked{0, 0, 0, 0, 0, 0, 99, 0};
    // The network solve's fnsl step (options 2 and 3 left to their defaults).
    const IntegerOptions step{2, std::nullopt, std::nullopt, 1, 1, 0, 99, 0};
    const IntegerOptions with_areas{2, 2, std::nullopt, 1, 1, 0, 99, 0};
    std::printf("status, iterations, largest change of |V| (pu) and angle (deg); * = not written back\n");
    std::printf("%-50s | %-29s | %-29s | %-29s\n", "file", "locked", "fnsl step", "fnsl step + areas");
    for (const auto& f : files) {
        Case stored;
        try {
            stored = read_raw_file(f);
        } catch (const std::exception& e) {
            std::printf("%-50s | not read: %s\n", f.filename().c_str(), e.what());
            continue;
        }
        std::printf("%-50s | %s | %s | %s\n", f.filename().c_str(), cell(solve_once(stored, locked)).c_str(),
                    cell(solve_once(stored, step)).c_str(), cell(solve_once(stored, with_areas)).c_str());
    }
    return 0;
}
