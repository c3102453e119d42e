#include "loadflow/sparse_lu.hpp"

#include <klu.h>

#include <algorithm>
#include <stdexcept>

#include "loadflow/fault_injection.hpp"

namespace velquin::sim::loadflow {

namespace {
// Patterns whose analyses are kept: the current network's and the one
// before (a stepwise reconnection goes back and forth rarely further).
constexpr std::size_t kKeptPatterns = 3;
// Below this reciprocal condition estimate a refactorisation with old
// pivots is not trusted and the matrix is factorised afresh.
constexpr double kRefactorMinRcond = 1e-12;
}  // namespace

struct SparseLu::State {
    klu_common common{};
};

struct SparseLu::Entry {
    std::vector<int> col_start;
    std::vector<int> row_index;
    std::vector<int> ordering_inputs;
    klu_symbolic* symbolic = nullptr;
    klu_common* common = nullptr;
    // Pivots chosen for the canonical values; the numbers are overwritten
    // by refactorisations (then `canonical_refactored`).
    std::vector<double> canonical_values;
    klu_numeric* canonical = nullptr;
    bool canonical_refactored = false;
    // Pivots chosen within the current solution.
    klu_numeric* solution = nullptr;
    const klu_numeric* last = nullptr;  // what solve() uses

    // Chooses pivots for the canonical values by a full factorisation.
    void factor_canonical(const std::vector<double>& values);
    void drop(klu_numeric*& numeric) {
        if (last == numeric) last = nullptr;
        if (numeric != nullptr) klu_free_numeric(&numeric, common);
    }
    ~Entry() {
        drop(solution);
        drop(canonical);
        if (symbolic != nullptr) klu_free_symbolic(&symbolic, common);
    }
};

SparseLu::SparseLu() : state_(std::make_unique<State>()) {
    klu_defaults(&state_->common);
    // Power-flow Jacobians are not diagonally dominant everywhere; keep
    // partial pivoting but prefer the diagonal.
    state_->common.tol = 0.001;
    // A connected network's Jacobian is one irreducible block, so the
    // block-triangular pre-ordering finds nothing; and its entries are of
    // like magnitude, so row scaling (recomputed at every factorisation,
    // 7% of a solve) does not change the pivots that matter. The matrices
    // are our own (sorted, no duplicates): KLU need not check them either.
    state_->common.btf = 0;
    state_->common.scale = -1;
    // With a given ordering KLU cannot estimate the factors' size and
    // reserves ten times the matrix's entries for each; a power-flow
    // Jacobian ordered by AMD fills to about as many again (a little more
    // is found by growing the reservation).
    state_->common.initmem = 1.5;
}

SparseLu::~SparseLu() {
    clear();
}

void SparseLu::begin_solution() {
    for (auto& e : cache_) e->drop(e->solution);
}

void SparseLu::clear() {
    current_ = nullptr;
    cache_.clear();
}

bool SparseLu::set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index) {
    return set_pattern(col_start, row_index, {}, Ordering{});
}

bool SparseLu::set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index,
                           const std::vector<int>& ordering_inputs, const Ordering& ordering) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        Entry& e = **it;
        if (e.col_start == col_start && e.row_index == row_index && e.ordering_inputs == ordering_inputs) {
            cache_.splice(cache_.begin(), cache_, it);
            current_ = &e;
            return true;
        }
    }
    auto entry = std::make_unique<Entry>();
    entry->col_start = col_start;
    entry->row_index = row_index;
    entry->ordering_inputs = ordering_inputs;
    entry->common = &state_->common;
    const int n = static_cast<int>(col_start.size()) - 1;
    if (n > 0 && ordering) {
        std::vector<int> p, q;
        ordering(p, q);
        entry->symbolic = klu_analyze_given(n, entry->col_start.data(), entry->row_index.data(), p.data(),
                                            q.data(), &state_->common);
        if (entry->symbolic == nullptr) throw std::runtime_error("sparse LU: symbolic analysis failed");
    } else if (n > 0) {
        entry->symbolic = klu_analyze(n, entry->col_start.data(), entry->row_index.data(), &state_->common);
        if (entry->symbolic == nullptr) throw std::runtime_error("sparse LU: symbolic analysis failed");
    }
    ++analyses_;
    cache_.push_front(std::move(entry));
    if (cache_.size() > kKeptPatterns) cache_.pop_back();
    current_ = cache_.front().get();
    return false;
}

namespace {

// A full factorisation choosing its pivots; null when it fails or the
// matrix is numerically singular (tiny pivots).
klu_numeric* factor_afresh(std::vector<int>& col_start, std::vector<int>& row_index,
                           const std::vector<double>& values, klu_symbolic* symbolic, klu_common& c) {
    auto* ax = const_cast<double*>(values.data());
    klu_numeric* numeric = klu_factor(col_start.data(), row_index.data(), ax, symbolic, &c);
    if (numeric == nullptr) return nullptr;
    if (c.status != KLU_OK || klu_rcond(symbolic, numeric, &c) != 1 || !(c.rcond > 1e-16)) {
        klu_free_numeric(&numeric, &c);
        return nullptr;
    }
    return numeric;
}

}  // namespace

void SparseLu::Entry::factor_canonical(const std::vector<double>& values) {
    drop(canonical);
    canonical_values = values;
    canonical_refactored = false;
    fault_point("factorisation");
    canonical = factor_afresh(col_start, row_index, values, symbolic, *common);
}

void SparseLu::set_canonical(const std::vector<double>& values) {
    if (current_ == nullptr) throw std::logic_error("sparse LU: no pattern set");
    Entry& e = *current_;
    if (e.symbolic == nullptr) return;
    // Only the pivots matter here, which refactorisations leave alone.
    if (e.canonical != nullptr && e.canonical_values == values) return;
    e.factor_canonical(values);
    ++full_factorisations_;
}

bool SparseLu::factor(const std::vector<double>& values, bool reuse_pivots) {
    if (current_ == nullptr) throw std::logic_error("sparse LU: no pattern set");
    Entry& e = *current_;
    if (e.symbolic == nullptr) return true;  // nothing to factorise
    fault_point("factorisation");
    klu_common& c = state_->common;
    if (reuse_pivots) {
        klu_numeric* base = e.solution != nullptr ? e.solution : e.canonical;
        if (base != nullptr) {
            if (base == e.canonical) e.canonical_refactored = true;
            auto* ax = const_cast<double*>(values.data());
            if (klu_refactor(e.col_start.data(), e.row_index.data(), ax, e.symbolic, base, &c) == 1 &&
                klu_rcond(e.symbolic, base, &c) == 1 && c.rcond > kRefactorMinRcond) {
                ++refactorisations_;
                e.last = base;
                return true;
            }
        }
    }
    e.drop(e.solution);
    e.solution = factor_afresh(e.col_start, e.row_index, values, e.symbolic, c);
    ++full_factorisations_;
    e.last = e.solution;
    return e.solution != nullptr;
}

bool SparseLu::factor_exactly(const std::vector<double>& values) {
    if (current_ == nullptr) throw std::logic_error("sparse LU: no pattern set");
    Entry& e = *current_;
    if (e.symbolic == nullptr) return true;
    if (e.canonical == nullptr || e.canonical_refactored || e.canonical_values != values) {
        e.factor_canonical(values);
        ++full_factorisations_;
    }
    e.last = e.canonical;
    return e.canonical != nullptr;
}

void SparseLu::solve(std::vector<double>& b) const {
    const Entry& e = *current_;
    if (e.symbolic == nullptr || e.last == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_solve(e.symbolic, const_cast<klu_numeric*>(e.last), n, 1, b.data(), &state_->common);
}

void SparseLu::solve_transposed(std::vector<double>& b) const {
    const Entry& e = *current_;
    if (e.symbolic == nullptr || e.last == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_tsolve(e.symbolic, const_cast<klu_numeric*>(e.last), n, 1, b.data(), &state_->common);
}

}  // namespace velquin::sim::loadflow
