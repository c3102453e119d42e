// Saved cases of format 1 kept DC lines and FACTS devices as untyped
// records, their fields in the canonical order of the RAW layouts. These
// functions turn such records into the typed ones, so that older files
// still open.
#pragma once

#include <string>
#include <vector>

#include "model/case.hpp"

namespace velquin::sim::casefile {

// Throw CaseFileError, prefixed with `context`, for a value of the wrong
// kind or out of range.
void convert_untyped(const std::vector<AuxRecord>& in, std::vector<TwoTerminalDcLine>& out,
                     const std::string& context);
void convert_untyped(const std::vector<AuxRecord>& in, std::vector<VscDcLine>& out,
                     const std::string& context);
void convert_untyped(const std::vector<AuxRecord>& in, std::vector<MultiTerminalDcLine>& out,
                     const std::string& context);
void convert_untyped(const std::vector<AuxRecord>& in, std::vector<FactsDevice>& out,
                     const std::string& context);

}  // namespace velquin::sim::casefile
