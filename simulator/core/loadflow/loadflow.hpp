// Load-flow solutions of a case: the full Newton-Raphson (fnsl) and the
// robust Newton-Raphson (rsol) with their options, progress reporting and
// the write-back of the solved state into the case.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "api/progress_output.hpp"
#include "loadflow/device_results.hpp"
#include "loadflow/loadflow_work.hpp"
#include "loadflow/solution_status.hpp"
#include "model/case.hpp"

namespace velquin::sim {

class Session;

enum class TapAdjustment { Off, Stepping, Direct };
enum class ShuntAdjustment { Off, All, ContinuousOnly };
enum class StartProfile {
    CaseVoltages,    // 0
    Flat,            // 1: 1 pu (set points where held), swing angle
    FlatMagnitudes,  // 2: flat magnitudes, the case's angles
    FlatAngles,      // 3: the case's magnitudes, swing angle everywhere
    DcAngles,        // 4: the case's magnitudes, DC load-flow angles
};
enum class StepLength { Full, OnDemand, EveryIteration };

struct LoadflowOptions {
    std::string method = "Full Newton-Raphson";
    TapAdjustment taps = TapAdjustment::Off;
    int area_interchange = 0;  // 0 off, 1 tie lines only, 2 tie lines and loads
    bool phase_shift_adjustment = false;
    bool dc_tap_adjustment = true;  // converter transformer taps of two-terminal DC lines
    ShuntAdjustment shunts = ShuntAdjustment::Off;
    StartProfile start = StartProfile::CaseVoltages;
    bool dc_angles_at_flat_start = false;  // a flat start takes DC angles
    int var_limits = -1;                   // -1 never, 0 at once, n from iteration n (or a small mismatch)
    StepLength step = StepLength::Full;
    bool restart_on_failure = false;  // retry from a flat start with DC angles
    // When the first attempt fails, try again from the magnitudes of the
    // linear network with loads as admittances and DC angles (rsol).
    bool linear_start_fallback = false;
    double tolerance_mva = 0.0;  // 0: the case's TOLN, else 0.1
    // Lines with R = 0 and |X| at or below this tie their buses; negative:
    // the case's THRSHZ, else 0.0001.
    double zero_impedance_threshold = -1.0;
    int max_iterations = 0;  // 0: the case's ITMXN, else 20
    double divergence_mva = 500.0;
    double blowup_vm = 5.0;
    int max_adjustment_rounds = 40;
};

struct LoadflowResult {
    int status = kSolutionNotAttempted;
    int iterations = 0;
    double max_p_mw = 0.0, max_q_mvar = 0.0;
    int max_p_bus = 0, max_q_bus = 0;
    bool written_back = false;
    int islands_solved = 0;
    int islands_unsolved = 0;  // energised islands without a swing bus
    int limited_plants = 0;    // plants held at a reactive limit
    int taps_moved = 0, shunts_moved = 0;
    int flow_windings_moved = 0;  // phase shifters and windings holding reactive power
    int areas_moved = 0;          // moves of area slack machines
    int dc_taps_moved = 0;        // converter transformer taps of DC lines
    int device_changes = 0;       // DC line regimes and VSC converter limits changed
    std::vector<std::string> notes;
    // Operating points of the modelled devices (filled when the solution
    // is written back).
    std::vector<DcLineResult> dc_lines;
    std::vector<VscLineResult> vsc_lines;
    std::vector<FactsResult> facts;
    LoadflowWork work;  // iterations are counted above
};

// Solves the case in place. Progress text goes to `progress` when given.
// What is kept between solutions (loadflow/kept_state.hpp) never changes a
// result: each solution gives what the first solution of a fresh session
// gives for the same case and options. An exception leaves the case as it
// was and discards everything kept.
// `untouched` tells that `c` is the case of the previous call and that
// nothing but that call has changed it since (the session knows it: see
// Session::case_untouched_since_solution); the network data then need not
// be compared again.
LoadflowResult solve_loadflow(Case& c, const LoadflowOptions& options, ProgressOutput* progress = nullptr,
                              bool untouched = false);

// Forgets everything kept from earlier solutions, so the next solution
// builds everything afresh (benchmarks use it to time a solution from
// nothing, tests to compare with a fresh session).
void clear_loadflow_caches();

// Options as the solution operations receive them (positions 1-based as
// documented; absent entries take the documented defaults). A value out of
// range is reported through `error` (kSolveInvalidOption/Value) with a
// message.
using IntegerOptions = std::vector<std::optional<long long>>;
using RealValues = std::vector<std::optional<double>>;
struct OptionsParse {
    LoadflowOptions options;
    int error = kSolveRan;
    std::string message;
};
OptionsParse parse_fnsl_options(const Case* c, const IntegerOptions& options);
OptionsParse parse_rsol_options(const Case* c, const IntegerOptions& options, const RealValues& values);

// The psspy operations on the session's case: return the error code and
// set the session's solution status. A solution that fails with an
// exception returns kSolveFailed with the status kSolutionNotAttempted,
// says why on the progress output and leaves the case as it was.
int run_fnsl(Session& session, const IntegerOptions& options);
int run_rsol(Session& session, const IntegerOptions& options, const RealValues& values);

}  // namespace velquin::sim
