// The fields of a case that a load-flow solution writes and that later
// solutions may start from: the solution fields. Everything else in the
// case is network data, which a solution reads and never changes.
//
// What a solution keeps between calls (network model, orderings, results)
// is keyed on the case's bytes: the network data all together, the solution
// fields apart, because which of them a solution reads depends on its start
// (see solution_inputs.hpp). This list is the only place that tells the two
// apart; a field missing here is network data, so the worst a mistake here
// can cost is speed.
//
// Moved taps and angles of windings (Winding::ratio, angle_deg), switched
// shunts (initial_mvar) and DC converter taps are written back too, but
// every solution reads them as network data, so they stay network data: a
// solution that moves them leaves a changed network.
#pragma once

#include <tuple>

#include "model/case.hpp"

namespace velquin::sim::loadflow {

template <class Record>
struct SolutionFields {
    static constexpr std::tuple<> members{};
};

template <>
struct SolutionFields<Bus> {
    static constexpr std::tuple members{&Bus::vm, &Bus::va_deg};
};

// The star point of a three-winding transformer.
template <>
struct SolutionFields<Transformer> {
    static constexpr std::tuple members{&Transformer::star_vm, &Transformer::star_va_deg};
};

// Swing machines' active and regulating machines' reactive output.
template <>
struct SolutionFields<Machine> {
    static constexpr std::tuple members{&Machine::pg, &Machine::qg};
};

}  // namespace velquin::sim::loadflow
