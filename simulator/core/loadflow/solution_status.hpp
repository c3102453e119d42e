// Outcome codes of a load-flow solution, as `solved` reports them, and the
// error codes of the solution operations themselves.
#pragma once

namespace velquin::sim {

enum SolutionStatus : int {
    kSolutionConverged = 0,
    kSolutionIterationLimit = 1,
    kSolutionBlownUp = 2,             // mismatch or voltage beyond the divergence thresholds
    kSolutionStepControlStopped = 3,  // no step along the Newton direction reduced the mismatch
    kSolutionSingular = 5,            // singular Jacobian
    kSolutionIslandsUnsolved = 8,     // energised islands without a swing bus were left unsolved
    kSolutionNotAttempted = 9,        // no case, or nothing that could be solved
};

// Error codes returned by fnsl and rsol: 0 means the solution ran (its
// outcome is the solution status).
enum SolveError : int {
    kSolveRan = 0,
    kSolveInvalidOption = 1,
    kSolveInvalidValue = 2,
    kSolveNoCase = 3,
    kSolveFailed = 4,  // the solution stopped on an error (out of memory, a failed factorisation)
};

const char* describe_solution_status(int status);

}  // namespace velquin::sim
