#include "loadflow/sparse_lu.hpp"

#include <klu.h>

#include <algorithm>
#include <stdexcept>

#include "loadflow/fault_injection.hpp"

namespace velquin::sim::loadflow {

namespace {
// Analyses kept across solutions: a solution alternates between a few
// patterns (plants switching at their reactive limits), and a stepwise
// reconnection brings a few more.
constexpr std::size_t kKeptPatterns = 8;
// Patterns whose numeric factors a solution keeps, as the first solution
// of a session keeps them: at most this many, the least recently used
// dropped first.
constexpr std::size_t kFactoredPatterns = 4;
static_assert(kFactoredPatterns <= kKeptPatterns);
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
    klu_numeric* numeric = nullptr;
    klu_common* common = nullptr;
    void drop_numeric() {
        if (numeric != nullptr) klu_free_numeric(&numeric, common);
    }
    ~Entry() {
        drop_numeric();
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
    clear();
}

void SparseLu::begin_solution() {
    for (Entry* e : touched_) e->drop_numeric();
    touched_.clear();
}

void SparseLu::clear() {
    touched_.clear();
    current_ = nullptr;
    cache_.clear();
}

void SparseLu::touch(Entry* entry) {
    current_ = entry;
    for (auto it = touched_.begin(); it != touched_.end(); ++it) {
        if (*it == entry) {
            touched_.splice(touched_.begin(), touched_, it);
            return;
        }
    }
    touched_.push_front(entry);
    if (touched_.size() > kFactoredPatterns) {
        touched_.back()->drop_numeric();
        touched_.pop_back();
    }
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
            touch(&e);
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
    if (cache_.size() > kKeptPatterns) {
        Entry* dropped = cache_.back().get();
        touched_.remove(dropped);
        if (current_ == dropped) current_ = nullptr;
        cache_.pop_back();
    }
    touch(cache_.front().get());
    return false;
}

bool SparseLu::factor(const std::vector<double>& values, bool reuse_pivots) {
    if (current_ == nullptr) throw std::logic_error("sparse LU: no pattern set");
    Entry& e = *current_;
    if (e.symbolic == nullptr) return true;  // nothing to factorise
    fault_point("factorisation");
    auto* ax = const_cast<double*>(values.data());
    klu_common& c = state_->common;
    if (reuse_pivots && e.numeric != nullptr) {
        if (klu_refactor(e.col_start.data(), e.row_index.data(), ax, e.symbolic, e.numeric, &c) == 1 &&
            klu_rcond(e.symbolic, e.numeric, &c) == 1 && c.rcond > kRefactorMinRcond) {
            ++refactorisations_;
            return true;
        }
    }
    e.drop_numeric();
    e.numeric = klu_factor(e.col_start.data(), e.row_index.data(), ax, e.symbolic, &c);
    ++full_factorisations_;
    if (e.numeric == nullptr || c.status != KLU_OK) return false;
    // A structurally fine but numerically singular matrix gives tiny pivots.
    if (klu_rcond(e.symbolic, e.numeric, &c) != 1 || !(c.rcond > 1e-16)) return false;
    return true;
}

void SparseLu::solve(std::vector<double>& b) const {
    const Entry& e = *current_;
    if (e.symbolic == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_solve(e.symbolic, e.numeric, n, 1, b.data(), &state_->common);
}

void SparseLu::solve_transposed(std::vector<double>& b) const {
    const Entry& e = *current_;
    if (e.symbolic == nullptr) return;
    const int n = static_cast<int>(e.col_start.size()) - 1;
    klu_tsolve(e.symbolic, e.numeric, n, 1, b.data(), &state_->common);
}

int SparseLu::dimension() const {
    return current_ == nullptr ? 0 : static_cast<int>(current_->col_start.size()) - 1;
}

}  // namespace velquin::sim::loadflow
