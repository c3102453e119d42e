// Sparse LU factorisation (KLU) of a square matrix given in compressed
// column form.
//
// What is kept between uses, and why it is exact:
// - The symbolic analysis (ordering) depends only on the sparsity pattern
//   and on the ordering's own inputs; it is kept for the patterns seen and
//   reused when the same pattern with the same ordering inputs comes back
//   (both are compared, not trusted from the caller).
// - A pattern may have a canonical matrix (for the Jacobian: its values at a
//   flat voltage profile, a function of the network alone). Its pivot
//   sequence, chosen by a full factorisation of the canonical values, is
//   kept with the values it was chosen for and reused while they are the
//   same; every solution's first factorisation refactorises with it.
// - Pivots chosen from a solution's own values (when a refactorisation was
//   ill-conditioned) live only until begin_solution(), so that every
//   solution factorises exactly as the first solution of a fresh session.
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

    // Forgets the pivots chosen within the last solution.
    void begin_solution();
    // Forgets everything.
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

    // Gives the current pattern its canonical values: their pivots are
    // chosen now unless they were chosen for exactly these values already.
    void set_canonical(const std::vector<double>& values);

    // Factorises the current pattern with these values. With `reuse_pivots`
    // it refactorises with the pivots chosen earlier in this solution, or
    // else with the canonical ones, and chooses pivots afresh (kept for the
    // rest of the solution) when there are none or when the refactorisation
    // fails or is ill-conditioned. Returns false when the matrix is
    // singular.
    bool factor(const std::vector<double>& values, bool reuse_pivots);
    // Factorises with pivots chosen for these values, reusing the kept
    // factorisation when it was made from exactly these values.
    bool factor_exactly(const std::vector<double>& values);

    // Solves A x = b (or A^T x = b) in place with the last factorisation.
    void solve(std::vector<double>& b) const;
    void solve_transposed(std::vector<double>& b) const;

    // Counters, for benchmarks and tests.
    std::size_t analyses() const { return analyses_; }
    std::size_t full_factorisations() const { return full_factorisations_; }
    std::size_t refactorisations() const { return refactorisations_; }

private:
    struct Entry;
    struct State;
    std::unique_ptr<State> state_;
    std::list<std::unique_ptr<Entry>> cache_;  // most recently used first
    Entry* current_ = nullptr;
    std::size_t analyses_ = 0;
    std::size_t full_factorisations_ = 0;
    std::size_t refactorisations_ = 0;
};

}  // namespace velquin::sim::loadflow
