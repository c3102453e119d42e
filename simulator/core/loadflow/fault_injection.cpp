#include "loadflow/fault_injection.hpp"

namespace velquin::sim::loadflow {

namespace {
std::function<void(std::string_view)>& injected() {
    static std::function<void(std::string_view)> inject;
    return inject;
}
}  // namespace

void set_fault_injection(std::function<void(std::string_view point)> inject) {
    injected() = std::move(inject);
}

void fault_point(std::string_view point) {
    if (const auto& inject = injected()) inject(point);
}

}  // namespace velquin::sim::loadflow
