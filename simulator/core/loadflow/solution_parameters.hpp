// Solution parameters a case may carry in its system-wide data (revision
// 34 and 35 files): "GENERAL, THRSHZ=...", "NEWTON, ITMXN=..., TOLN=...",
// "SOLVER, FNSL, ACTAPS=..., ...". Absent entries keep the given defaults.
#pragma once

#include <optional>
#include <string_view>

#include "model/case.hpp"

namespace velquin::sim::loadflow {

std::optional<double> solution_parameter(const Case& c, std::string_view record, std::string_view key);

}  // namespace velquin::sim::loadflow
