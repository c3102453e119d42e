#include "api/session.hpp"

namespace velquin::sim {

Session& Session::instance() {
    static Session session;
    return session;
}

void Session::mark_initialized(int bus_capacity) {
    initialized_ = true;
    bus_capacity_ = bus_capacity;
}

void Session::replace_case(Case c) {
    case_ = std::move(c);
    solution_status_ = kSolutionNotAttempted;
}

void Session::close_case() {
    case_.reset();
    solution_status_ = kSolutionNotAttempted;
}

}  // namespace velquin::sim
