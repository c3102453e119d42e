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
    ++case_version_;
    case_ = std::move(c);
    case_index_.clear();
    walks_.reset();
    solution_status_ = kSolutionNotAttempted;
}

void Session::close_case() {
    ++case_version_;
    case_.reset();
    case_index_.clear();
    walks_.reset();
    solution_status_ = kSolutionNotAttempted;
}

void Session::report(std::string_view line) {
    progress_.write_line(line);
    progress_.flush();
}

int Session::lines_per_page(int device) const {
    if (device < 1 || device > static_cast<int>(lines_per_page_.size())) return 0;
    return lines_per_page_[static_cast<std::size_t>(device - 1)];
}

bool Session::set_lines_per_page(int device, int lines) {
    if (device < 1 || device > static_cast<int>(lines_per_page_.size()) || lines < 1) return false;
    lines_per_page_[static_cast<std::size_t>(device - 1)] = lines;
    return true;
}

}  // namespace velquin::sim
