#include "loadflow/sparse_lu.hpp"

#include <klu.h>

#include <algorithm>
#include <stdexcept>

namespace velquin::sim::loadflow {

namespace {
// A few patterns are enough: a solve alternates at most between the
// topology with and without some PV buses held at a reactive limit.
constexpr std::size_t kCachedPatterns = 4;
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
    klu_symbolic* symbolic = nullptr;
    klu_numeric* numeric = nullptr;
    klu_common* common = nullptr;
    ~Entry() {
        if (numeric != nullptr) klu_free_numeric(&numeric, common);
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
    // 7% of a solve) does not change the pivots that matter.
    state_->common.btf = 0;
    state_->common.scale = 0;
}

SparseLu::~SparseLu() {
    cache_.clear();
}

bool SparseLu::set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index) {
    return set_pattern(col_start, row_index, Ordering{});
}

bool SparseLu::set_pattern(const std::vector<int>& col_start, const std::vector<int>& row_index,
                           const Ordering& ordering) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        Entry& e = **it;
        if (e.col_start == col_start && e.row_index == row_index) {
            cache_.splice(cache_.begin(), cache_, it);
            return true;
        }
    }
    auto entry = std::make_unique<Entry>();
    entry->col_start = col_start;
    entry->row_index = row_index;
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
    if (cache_.size() > kCachedPatterns) cache_.pop_back();
    return false;
}

bool SparseLu::factor(const std::vector<double>& values, bool reuse_pivots) {
    if (cache_.empty()) throw std::logic_error("sparse LU: no pattern set");
    Entry& e = *cache_.front();
    if (e.symbolic == nullptr) return true;  // nothing to factorise
    auto* ax = const_cast<double*>(values.data());
    klu_common& c = state_->common;
    if (reuse_pivots && e.numeric != nullptr) {
        if (klu_refactor(e.col_start.data(), e.row_index.data(), ax, e.symbolic, e.numeric, &c) == 1 &&
            klu_rcond(e.symbolic, e.numeric, &c) == 1 && c.rcond > kRefactorMinRcond) {
            ++refactorisations_;
            return true;
        }
    }
    if (e.numeric != nullptr) klu_free_numeric(&e.numeric, &c);
    e.numeric = klu_factor(e.col_start.data(), e.row_index.data(), ax, e.symbolic, &c);
    ++full_factorisations_;
    if (e.numeric == nullptr || c.status != KLU_OK) return false;
    // A structurally fine but numerically singular matrix gives tiny pivots.
    if (klu_rcond(e.symbolic, e.numeric, &c) != 1 || !(c.rcond > 1e-16)) return false;
    return true;
}

void SparseLu::solve(std::vector<double>& b) const {
    const Entry& e = *cache_.front();
    if (e.symbolic == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_solve(e.symbolic, e.numeric, n, 1, b.data(), &state_->common);
}

void SparseLu::solve_transposed(std::vector<double>& b) const {
    const Entry& e = *cache_.front();
    if (e.symbolic == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_tsolve(e.symbolic, e.numeric, n, 1, b.data(), &state_->common);
}

int SparseLu::dimension() const {
    return cache_.empty() ? 0 : static_cast<int>(cache_.front()->col_start.size()) - 1;
}

}  // namespace velquin::sim::loadflow
