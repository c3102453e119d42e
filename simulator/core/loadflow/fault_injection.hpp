// Points where a test can make a load-flow solution fail with an exception,
// as an allocation failure or a failed factorisation would, to check that
// nothing is left behind. Unused outside tests.
#pragma once

#include <functional>
#include <string_view>

namespace velquin::sim::loadflow {

// Called at each fault point with its name; a test's function throws at the
// one it wants. An empty function removes it.
void set_fault_injection(std::function<void(std::string_view point)> inject);

void fault_point(std::string_view point);

}  // namespace velquin::sim::loadflow
