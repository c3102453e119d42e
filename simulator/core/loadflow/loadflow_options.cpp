// Option lists of the solution operations and the operations themselves on
// the session's case.
#include <cmath>
#include <exception>
#include <string>

#include "api/session.hpp"
#include "loadflow/loadflow.hpp"
#include "loadflow/solution_parameters.hpp"

namespace velquin::sim {

using loadflow::solution_parameter;

namespace {

struct IntegerOption {
    const char* name;     // for messages
    const char* keyword;  // solution parameter giving the default, or null
    long long fallback;
    long long low, high;
};

// Positions 1-6 are shared by both solutions.
constexpr IntegerOption kCommon[] = {
    {"tap adjustment", "ACTAPS", 0, 0, 2},
    {"area interchange", "AREAIN", 0, 0, 2},
    {"phase-shift adjustment", "PHSHFT", 0, 0, 1},
    {"DC tap adjustment", "DCTAPS", 1, 0, 1},
    {"switched-shunt adjustment", "SWSHNT", 1, 0, 2},
    {"flat start", "FLATST", 0, 0, 4},
};
constexpr IntegerOption kVarLimits{"var limits", "VARLIM", 99, -1, 9999};
constexpr IntegerOption kNonDivergent{"non-divergent solution", "NONDIV", 0, 0, 1};
constexpr IntegerOption kStartVariant{"start variant", nullptr, 0, 0, 7};
constexpr IntegerOption kStepControl{"step control", nullptr, 0, 0, 1};
constexpr IntegerOption kReserved{"reserved option 10", nullptr, 0, 0, 1};

long long take(const Case* c, const IntegerOptions& given, std::size_t position, const IntegerOption& option,
               OptionsParse& out) {
    long long value = option.fallback;
    if (c != nullptr && option.keyword != nullptr) {
        if (auto p = solution_parameter(*c, "SOLVER", option.keyword); p && *p == std::floor(*p)) {
            if (*p >= static_cast<double>(option.low) && *p <= static_cast<double>(option.high))
                value = static_cast<long long>(*p);
        }
    }
    if (position < given.size() && given[position].has_value()) value = *given[position];
    if ((value < option.low || value > option.high) && out.error == kSolveRan) {
        out.error = kSolveInvalidOption;
        out.message = "option " + std::to_string(position + 1) + " (" + option.name + ") is " +
                      std::to_string(value) + ", allowed " + std::to_string(option.low) + " to " +
                      std::to_string(option.high);
    }
    return value;
}

void apply_common(const Case* c, const IntegerOptions& given, OptionsParse& out) {
    LoadflowOptions& o = out.options;
    const long long taps = take(c, given, 0, kCommon[0], out);
    o.taps = taps == 0 ? TapAdjustment::Off : taps == 1 ? TapAdjustment::Stepping : TapAdjustment::Direct;
    o.area_interchange = static_cast<int>(take(c, given, 1, kCommon[1], out));
    o.phase_shift_adjustment = take(c, given, 2, kCommon[2], out) != 0;
    o.dc_tap_adjustment = take(c, given, 3, kCommon[3], out) != 0;
    const long long shunts = take(c, given, 4, kCommon[4], out);
    o.shunts = shunts == 0   ? ShuntAdjustment::Off
               : shunts == 1 ? ShuntAdjustment::All
                             : ShuntAdjustment::ContinuousOnly;
    o.start = static_cast<StartProfile>(take(c, given, 5, kCommon[5], out));
}

}  // namespace

OptionsParse parse_fnsl_options(const Case* c, const IntegerOptions& options) {
    OptionsParse out;
    out.options.method = "Full Newton-Raphson";
    apply_common(c, options, out);
    out.options.var_limits = static_cast<int>(take(c, options, 6, kVarLimits, out));
    out.options.step = take(c, options, 7, kNonDivergent, out) != 0 ? StepLength::OnDemand : StepLength::Full;
    for (std::size_t k = 8; k < options.size(); ++k)
        if (options[k].has_value() && out.error == kSolveRan) {
            out.error = kSolveInvalidOption;
            out.message = "fnsl takes 8 options";
        }
    return out;
}

OptionsParse parse_rsol_options(const Case* c, const IntegerOptions& options, const RealValues& values) {
    OptionsParse out;
    LoadflowOptions& o = out.options;
    o.method = "Robust Newton-Raphson";
    o.linear_start_fallback = true;
    apply_common(c, options, out);
    const long long variant = take(c, options, 6, kStartVariant, out);
    o.dc_angles_at_flat_start = (variant & 1) == 0;
    o.restart_on_failure = (variant & 2) != 0;
    if ((variant & 4) != 0) o.start = StartProfile::DcAngles;
    o.var_limits = static_cast<int>(take(c, options, 7, kVarLimits, out));
    o.step = take(c, options, 8, kStepControl, out) != 0 ? StepLength::EveryIteration : StepLength::OnDemand;
    take(c, options, 9, kReserved, out);
    if (!values.empty() && values[0].has_value()) o.divergence_mva = *values[0];
    if (values.size() > 1 && values[1].has_value()) o.blowup_vm = *values[1];
    if (out.error == kSolveRan && !(o.divergence_mva > 0.0 && std::isfinite(o.divergence_mva))) {
        out.error = kSolveInvalidValue;
        out.message = "value 1 (divergence threshold, MW/Mvar) must be positive";
    }
    if (out.error == kSolveRan && !(o.blowup_vm > 1.0 && std::isfinite(o.blowup_vm))) {
        out.error = kSolveInvalidValue;
        out.message = "value 2 (blow-up voltage, pu) must be greater than 1";
    }
    return out;
}

namespace {

int run(Session& session, const OptionsParse& parsed, const char* name) {
    ProgressOutput& progress = session.progress();
    session.set_solution_work({}, 0);
    if (!session.has_case()) {
        session.set_solution_status(kSolutionNotAttempted);
        progress.write_line(std::string(name) + ": no case in memory");
        progress.flush();
        return kSolveNoCase;
    }
    if (parsed.error != kSolveRan) {
        // A refused call must not leave an earlier success standing.
        session.set_solution_status(kSolutionNotAttempted);
        progress.write_line(std::string(name) + ": " + parsed.message);
        progress.flush();
        return parsed.error;
    }
    try {
        const LoadflowResult result = solve_loadflow(session.current_case(), parsed.options, &progress);
        session.set_solution_status(result.status);
        session.set_solution_work(result.work, result.iterations);
    } catch (const std::exception& e) {
        // The solver has discarded what it kept and written nothing.
        session.set_solution_status(kSolutionNotAttempted);
        progress.write_line(std::string(name) + ": the solution stopped on an error (" + e.what() +
                            "); the case is left as it was");
        progress.flush();
        return kSolveFailed;
    }
    return kSolveRan;
}

}  // namespace

int run_fnsl(Session& session, const IntegerOptions& options) {
    const Case* c = session.has_case() ? &session.current_case() : nullptr;
    return run(session, parse_fnsl_options(c, options), "fnsl");
}

int run_rsol(Session& session, const IntegerOptions& options, const RealValues& values) {
    const Case* c = session.has_case() ? &session.current_case() : nullptr;
    return run(session, parse_rsol_options(c, options, values), "rsol");
}

}  // namespace velquin::sim
