// One load-flow solution from nothing: everything the solver keeps between
// solutions is forgotten first, as in a fresh session. Uses only the oldest
// parts of the load-flow interface, so that the same source builds against
// an earlier version of the simulator for a comparison in one command
// (bench/compare_solve_from_nothing.py).
//
//     bench_solve_from_nothing REPEATS FILE...
//
// Prints one line per network and start: the network, the start ("stored"
// for MATPOWER's own settings from the stored voltages, "flat" for the
// robust solution of the network-solve recipe), then minimum and median
// thread CPU time in milliseconds and the iterations.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/matpower_format.hpp"
#include "loadflow/loadflow.hpp"

using namespace velquin::sim;

namespace {

double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

void time_solutions(const std::string& name, const Case& original, const char* start,
                    const LoadflowOptions& o, int repeats) {
    std::vector<double> times;
    int iterations = 0, status = 0;
    for (int k = 0; k < repeats; ++k) {
        Case c = original;
        clear_loadflow_caches();
        const double t0 = cpu_ms();
        const LoadflowResult r = solve_loadflow(c, o);
        times.push_back(cpu_ms() - t0);
        iterations = r.iterations;
        status = r.status;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s %s %.3f %.3f %d %d\n", name.c_str(), start, times.front(), times[times.size() / 2],
                iterations, status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s REPEATS FILE.m...\n", argv[0]);
        return 2;
    }
    const int repeats = std::max(1, std::atoi(argv[1]));
    for (int k = 2; k < argc; ++k) {
        const std::filesystem::path file = argv[k];
        const Case c = read_matpower_file(file);
        LoadflowOptions stored;
        stored.var_limits = -1;
        stored.tolerance_mva = 1e-8 * c.identification.base_mva;
        stored.zero_impedance_threshold = 0.0;
        time_solutions(file.stem().string(), c, "stored", stored, repeats);
        OptionsParse robust = parse_rsol_options(&c, {1, 2, 0, 0, 1, 1, 0, 99, 0, 0}, {500.0, 5.0});
        robust.options.zero_impedance_threshold = 0.0;
        time_solutions(file.stem().string(), c, "flat", robust.options, repeats);
    }
    return 0;
}
