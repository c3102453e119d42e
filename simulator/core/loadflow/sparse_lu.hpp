// Sparse LU factorisation (KLU) of a square matrix given in compressed
// column form. The symbolic analysis (ordering) is the expensive part that
// only depends on the sparsity pattern, so it is kept for the last few
// patterns seen and reused whenever the same pattern comes back; the
// pattern itself is compared, not trusted from the caller.
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

    // Makes the pattern (column starts, row indices) current, analysing it
    // only when it is not among the cached ones. Returns true when a cached
    // analysis was reused.
    bool set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index);
    // The same with a fill-reducing ordering of the caller's, asked for
    // only when the pattern is new: it fills row and column permutations.
    using Ordering = std::function<void(std::vector<int>& rows, std::vector<int>& cols)>;
    bool set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index,
                     const Ordering& ordering);

    // Factorises the current pattern with these values. `reuse_pivots`
    // tries a refactorisation with the previous pivot sequence first and
    // falls back to a full factorisation with pivoting when that fails or
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
    std::unique_ptr<State> state_;
    std::list<std::unique_ptr<Entry>> cache_;  // most recently used first
    std::size_t analyses_ = 0;
    std::size_t full_factorisations_ = 0;
    std::size_t refactorisations_ = 0;
};

}  // namespace velquin::sim::loadflow
