// Load-flow speed on every network of the test data: a full solve from
// the stored voltages (admittance build included), the robust solution
// from a flat start, a re-solve of the converged case, and the phases of
// one Newton iteration. Times are minimum / median / maximum over repeated
// runs in this process; the first (cold) solve, which analyses the sparsity
// pattern, is the in-process baseline for the reuse of that analysis.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/matpower_format.hpp"
#include "formats/raw_format.hpp"
#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"
#include "loadflow/sparse_lu.hpp"

using namespace velquin::sim;
using Clock = std::chrono::steady_clock;

namespace {

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

// The machine is shared: besides wall time, the thread's own CPU time is
// what the solver actually costs when it is not waiting for a core.
double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = cpu_ms();
};

bool g_cpu_time = true;

double ms_since(const Timer& t0) {
    if (g_cpu_time) return cpu_ms() - t0.cpu;
    return std::chrono::duration<double, std::milli>(Clock::now() - t0.wall).count();
}

int repeats_for(std::size_t buses) {
    return buses > 5000 ? 15 : buses > 1000 ? 25 : 60;
}

void print(const char* what, const Stats& s) {
    std::printf("  %-34s %9.3f %9.3f %9.3f ms\n", what, s.min, s.median, s.max);
}

void bench(const std::filesystem::path& file) {
    const bool matpower = file.extension() == ".m";
    Case original;
    try {
        original = matpower ? read_matpower_file(file) : read_raw_file(file);
    } catch (const std::exception& e) {
        std::printf("%s: not read (%s)\n", file.filename().c_str(), e.what());
        return;
    }
    LoadflowOptions stored;
    stored.var_limits = -1;
    if (matpower) {
        // MATPOWER's own settings: tolerance 1e-8 pu, tiny impedances kept.
        stored.tolerance_mva = 1e-8 * original.identification.base_mva;
        stored.zero_impedance_threshold = 0.0;
    }
    const int n = repeats_for(original.buses.size());
    std::printf("%s: %zu buses\n", file.filename().c_str(), original.buses.size());

    std::vector<double> full, fresh, resolve, flat;
    int full_iterations = 0, flat_iterations = 0, full_status = 0, flat_status = 0;
    double cold = 0.0;
    for (int k = 0; k < n; ++k) {
        Case c = original;
        const Timer t0;
        const LoadflowResult r = solve_loadflow(c, stored);
        const double t = ms_since(t0);
        if (k == 0)
            cold = t;
        else
            full.push_back(t);
        full_iterations = r.iterations;
        full_status = r.status;
        const Timer t1;
        solve_loadflow(c, stored);
        resolve.push_back(ms_since(t1));
    }
    // The same solution with nothing kept from earlier ones: network model,
    // admittances, symbolic analysis and first factorisation every time.
    for (int k = 0; k < n; ++k) {
        Case c = original;
        clear_loadflow_caches();
        const Timer t0;
        solve_loadflow(c, stored);
        fresh.push_back(ms_since(t0));
    }
    OptionsParse robust = parse_rsol_options(&original, {1, 2, 0, 0, 1, 1, 0, 99, 0, 0}, {500.0, 5.0});
    if (matpower) robust.options.zero_impedance_threshold = 0.0;
    for (int k = 0; k < n; ++k) {
        Case c = original;
        const Timer t0;
        const LoadflowResult r = solve_loadflow(c, robust.options);
        flat.push_back(ms_since(t0));
        flat_iterations = r.iterations;
        flat_status = r.status;
    }
    std::printf("  %-34s %9s %9s %9s\n", "", "min", "median", "max");
    print("full solve, stored voltages", stats(full));
    std::printf("  %-34s %9.3f ms (first solve, pattern analysed), %d iterations, status %d\n", "", cold,
                full_iterations, full_status);
    print("full solve, nothing cached", stats(fresh));
    print("re-solve of the converged case", stats(resolve));
    print("rsol recipe call, flat start", stats(flat));
    std::printf("  %-34s %d iterations, status %d\n", "", flat_iterations, flat_status);

    // Phases of one iteration at the stored voltages.
    loadflow::BuildSettings bs;
    bs.zero_impedance_threshold = matpower ? 0.0 : 0.0001;
    std::vector<double> build, assemble, factor, refactor, solve;
    loadflow::SparseLu lu;
    for (int k = 0; k < n; ++k) {
        Timer t0;
        loadflow::NetworkModel m = loadflow::build_network(original, bs);
        build.push_back(ms_since(t0));
        loadflow::NewtonSolver s(m, lu);
        s.v = m.v_case;
        s.prepare(loadflow::NewtonSettings{});
        t0 = Timer{};
        s.assemble();
        assemble.push_back(ms_since(t0));
        t0 = Timer{};
        s.factorise(false);
        factor.push_back(ms_since(t0));
        t0 = Timer{};
        s.factorise(true);
        refactor.push_back(ms_since(t0));
        t0 = Timer{};
        s.correction();
        solve.push_back(ms_since(t0));
        if (k == 0)
            std::printf("  Jacobian: %d unknowns, %zu non-zeros\n", s.unknowns(), s.jacobian_nonzeros());
    }
    print("network model and admittances", stats(build));
    print("mismatch and Jacobian assembly", stats(assemble));
    print("factorisation with pivoting", stats(factor));
    print("refactorisation, same pivots", stats(refactor));
    print("forward/back substitution", stats(solve));
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path data = VELQUIN_DATA_DIR;
    std::vector<std::filesystem::path> files;
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--wall") {
        g_cpu_time = false;
        first = 2;
    }
    std::printf("times: %s\n",
                g_cpu_time ? "thread CPU time (--wall for wall-clock time)" : "wall-clock time");
    if (argc > first) {
        for (int k = first; k < argc; ++k) files.emplace_back(argv[k]);
    } else {
        for (const char* dir : {"matpower", "raw"})
            for (const auto& e : std::filesystem::directory_iterator(data / dir)) {
                const auto ext = e.path().extension().string();
                if (ext == ".m" || ext == ".raw" || ext == ".RAW") files.push_back(e.path());
            }
        std::sort(files.begin(), files.end());
    }
    for (const auto& f : files) bench(f);
    return 0;
}
