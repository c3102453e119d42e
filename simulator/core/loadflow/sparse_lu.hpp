// Sparse LU factorisation (KLU) of a square matrix given in compressed
// column form.
//
// The symbolic analysis (ordering) is the expensive part that depends only
// on the sparsity pattern and on the ordering's own inputs; it is kept for
// the patterns seen and reused whenever the same pattern with the same
// ordering inputs comes back (both are compared, not trusted from the
// caller), which is exact: the analysis is a function of them.
//
// Numeric factors (the pivot sequences) live only within one solution:
// begin_solution() forgets them, so that every solution makes the same
// factorisations, in the same order and with the same pivots, as the first
// solution of a fresh session. Within a solution the most recently used
// patterns keep their numeric factors as a fresh session would keep them.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <vector>

namespace velquin::sim::loadflow {

class SparseLu {
public:
    SparseLu();
    ~SparseLu();
    SparseLu(const SparseLu&) = delete;
    SparseLu& operator=(const SparseLu&) = delete;

    // Forgets every numeric factor: the next factorisation of each pattern
    // chooses its pivots afresh.
    void begin_solution();
    // Forgets everything, symbolic analyses included.
    void clear();

    // Makes the pattern (column starts, row indices) current, analysing it
    // only when it is not among the kept ones. Returns true when a kept
    // analysis was reused.
    bool set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index);
    // The same with a fill-reducing ordering of the caller's, asked for
    // only when the pattern is new: it fills row and column permutations.
    // `ordering_inputs` holds everything the ordering depends on besides
    // the pattern; it is part of what must match for a kept analysis.
    using Ordering = std::function<void(std::vector<int>& rows, std::vector<int>& cols)>;
    bool set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index,
                     const std::vector<int>& ordering_inputs, const Ordering& ordering);

    // Factorises the current pattern with these values. `reuse_pivots`
    // tries a refactorisation with the pivot sequence of this pattern's
    // last factorisation in this solution first, and falls back to a full
    // factorisation with pivoting when there is none, or when it fails or
    // is ill-conditioned. Returns false when the matrix is singular.
    bool factor(const std::vector<double>& values, bool reuse_pivots);

    // Solves A x = b (or A^T x = b) in place.
    void solve(std::vector<double>& b) const;
    void solve_transposed(std::vector<double>& b) const;

    int dimension() const;
    // Counters, for benchmarks and tests.
    std::size_t analyses() const { return analyses_; }
    std::size_t full_factorisations() const { return full_factorisations_; }
    std::size_t refactorisations() const { return refactorisations_; }

private:
    struct Entry;
    struct State;
    void touch(Entry* entry);
    std::unique_ptr<State> state_;
    std::list<std::unique_ptr<Entry>> cache_;  // most recently used first
    // Patterns used in this solution, most recent first; only these hold
    // numeric factors.
    std::list<Entry*> touched_;
    Entry* current_ = nullptr;
    std::size_t analyses_ = 0;
    std::size_t full_factorisations_ = 0;
    std::size_t refactorisations_ = 0;
};

}  // namespace velquin::sim::loadflow
