// Outcomes of earlier solutions of one network, by their inputs
// (solution_inputs.hpp). A solution whose inputs equal those of a
// remembered one gives that outcome again: the same write into the case,
// status, iteration count and progress text, as computing it afresh would.
// The memo belongs to one network: it is cleared whenever the network data
// change.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <string>

#include "loadflow/solution_run.hpp"

namespace velquin::sim::loadflow {

class ResultMemo {
public:
    // The outcome remembered for these inputs, or null. `all_fields` gives
    // the bytes of every solution field of the case, asked for only when a
    // candidate read them all.
    const SolutionOutcome* find(const std::string& inputs, const std::function<std::string()>& all_fields);
    // Remembers an outcome; `all_fields` is given when it read them all
    // beyond its inputs.
    const SolutionOutcome& add(std::string inputs, std::optional<std::string> all_fields,
                               SolutionOutcome outcome);
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string inputs;
        std::optional<std::string> all_fields;
        SolutionOutcome outcome;
    };
    std::list<Entry> entries_;  // most recently used first
};

}  // namespace velquin::sim::loadflow
