// Load-flow speed on every network of the test data: a full solve from the
// stored voltages and the robust solution from a flat start, each with
// nothing kept (as the first solution of a session) and with the network
// model, orderings and canonical pivots kept (the inputs changed, so that
// the solution is computed), a solution whose inputs repeat (its outcome is
// remembered), and the phases of one Newton iteration, with the work each
// solution reports. Times are minimum / median / maximum over repeated runs
// in this process.
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

    auto work_text = [](const LoadflowResult& r) {
        const LoadflowWork& w = r.work;
        char text[160];
        std::snprintf(text, sizeof text,
                      "%d iterations, status %d; %d model build(s), %d analyses, %d full factorisation(s), "
                      "%d refactorisation(s), %d memo hit(s)",
                      r.iterations, r.status, w.model_builds, w.symbolic_analyses, w.full_factorisations,
                      w.refactorisations, w.memo_hits);
        return std::string(text);
    };
    // The swing bus's stored angle, nudged so that a flat start computes
    // again (its inputs changed) on the kept model.
    std::size_t swing = 0;
    for (std::size_t i = 0; i < original.buses.size(); ++i)
        if (original.buses[i].type == kSwingBus) swing = i;
    OptionsParse robust = parse_rsol_options(&original, {1, 2, 0, 0, 1, 1, 0, 99, 0, 0}, {500.0, 5.0});
    if (matpower) robust.options.zero_impedance_threshold = 0.0;

    std::vector<double> fresh, fresh_flat, kept, kept_flat, remembered;
    LoadflowResult fresh_r, fresh_flat_r, kept_r, kept_flat_r, remembered_r;
    for (int k = 0; k < n; ++k) {
        // Nothing kept: network model, orderings, pivots and outcomes anew.
        Case c = original;
        clear_loadflow_caches();
        Timer t0;
        fresh_r = solve_loadflow(c, stored);
        fresh.push_back(ms_since(t0));
        Case f = original;
        clear_loadflow_caches();
        t0 = Timer{};
        fresh_flat_r = solve_loadflow(f, robust.options);
        fresh_flat.push_back(ms_since(t0));
        // The same network again, other inputs: computed on what is kept.
        Case w = original;
        w.buses[swing].va_deg += 1e-9 * (k + 1);
        t0 = Timer{};
        kept_flat_r = solve_loadflow(w, robust.options);
        kept_flat.push_back(ms_since(t0));
        Case s2 = original;
        s2.buses[swing].va_deg += 1e-9 * (k + 1);
        t0 = Timer{};
        kept_r = solve_loadflow(s2, stored);
        kept.push_back(ms_since(t0));
        // And the very same inputs once more: the remembered outcome.
        Case again = original;
        again.buses[swing].va_deg += 1e-9 * (k + 1);
        t0 = Timer{};
        remembered_r = solve_loadflow(again, stored);
        remembered.push_back(ms_since(t0));
    }
    std::printf("  %-34s %9s %9s %9s\n", "", "min", "median", "max");
    print("full solve, nothing kept", stats(fresh));
    std::printf("  %-34s %s\n", "", work_text(fresh_r).c_str());
    print("rsol recipe call, nothing kept", stats(fresh_flat));
    std::printf("  %-34s %s\n", "", work_text(fresh_flat_r).c_str());
    print("full solve, model kept", stats(kept));
    std::printf("  %-34s %s\n", "", work_text(kept_r).c_str());
    print("rsol recipe call, model kept", stats(kept_flat));
    std::printf("  %-34s %s\n", "", work_text(kept_flat_r).c_str());
    print("same inputs again (memo)", stats(remembered));
    std::printf("  %-34s %s\n", "", work_text(remembered_r).c_str());

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
        lu.begin_solution();
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
