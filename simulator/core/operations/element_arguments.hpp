// Arguments of the element creation and change operations. Every field a
// caller may leave out is optional: on an existing element only the fields
// given change; a new element takes the documented default for the others.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "model/types.hpp"

namespace velquin::sim {

using OptionalInt = std::optional<int>;
using OptionalReal = std::optional<double>;
using OptionalText = std::optional<std::string>;

struct OwnershipData {
    std::array<OptionalInt, kOwnerCount> owner{};
    std::array<OptionalReal, kOwnerCount> fraction{};
};

using RatingsData = std::array<OptionalReal, kRatingCount>;

struct BusData {
    int number = 0;
    int node = 0;
    OptionalInt type{};
    OptionalInt area{};
    OptionalInt zone{};
    OptionalInt owner{};
    OptionalReal base_kv{};
    OptionalReal vm{};
    OptionalReal va_deg{};
    OptionalReal normal_vmax{};
    OptionalReal normal_vmin{};
    OptionalReal emergency_vmax{};
    OptionalReal emergency_vmin{};
    OptionalText name{};
};

struct LineData {
    int from_bus = 0;
    int to_bus = 0;
    std::string ckt = "1";
    OptionalInt status{};
    OptionalInt metered_bus{};  // bus number of the metered end
    OwnershipData ownership{};
    OptionalReal r{};
    OptionalReal x{};
    OptionalReal b{};
    OptionalReal gi{};
    OptionalReal bi{};
    OptionalReal gj{};
    OptionalReal bj{};
    OptionalReal length{};
    RatingsData ratings{};
    OptionalText name{};
};

// Data of one transformer winding, in the units its transformer's CW gives.
struct WindingData {
    OptionalInt tap_positions{};
    OptionalInt correction_table{};
    OptionalInt controlled_bus{};
    OptionalInt controlled_node{};
    OptionalInt control_mode{};
    OptionalReal ratio{};
    OptionalReal nominal_kv{};
    OptionalReal angle_deg{};
    OptionalReal rmax{};
    OptionalReal rmin{};
    OptionalReal vmax{};
    OptionalReal vmin{};
    OptionalReal compensation_r{};
    OptionalReal compensation_x{};
    OptionalReal connection_angle{};
    RatingsData ratings{};
};

struct TwoWindingData {
    int bus_i = 0;
    int bus_j = 0;
    std::string ckt = "1";
    OptionalInt status{};
    OptionalInt metered_bus{};
    OwnershipData ownership{};
    OptionalInt winding1_side{};  // 1: winding 1 at bus_i, 2: at bus_j
    OptionalInt impedance_correction_code{};
    OptionalInt winding_code{};
    OptionalInt impedance_code{};
    OptionalInt magnetizing_code{};
    OptionalReal r{};
    OptionalReal x{};
    OptionalReal sbase{};
    OptionalReal mag1{};
    OptionalReal mag2{};
    WindingData winding1{};
    OptionalReal winding2_ratio{};
    OptionalReal winding2_nominal_kv{};
    OptionalText name{};
    OptionalText vector_group{};
};

struct ThreeWindingImpedanceData {
    int bus_i = 0;
    int bus_j = 0;
    int bus_k = 0;
    std::string ckt = "1";
    OwnershipData ownership{};
    OptionalInt winding_code{};
    OptionalInt impedance_code{};
    OptionalInt magnetizing_code{};
    OptionalInt status{};
    OptionalInt non_metered_bus{};
    OptionalInt winding1_bus{};
    OptionalInt impedance_correction_code{};
    // Winding pairs 1-2, 2-3, 3-1 of the transformer.
    std::array<OptionalReal, 3> r{};
    std::array<OptionalReal, 3> x{};
    std::array<OptionalReal, 3> sbase{};
    OptionalReal mag1{};
    OptionalReal mag2{};
    OptionalReal star_vm{};
    OptionalReal star_va_deg{};
    OptionalText name{};
    OptionalText vector_group{};
};

struct ThreeWindingWindingData {
    int bus_i = 0;
    int bus_j = 0;
    int bus_k = 0;
    std::string ckt = "1";
    int winding = 1;  // 1, 2 or 3, in the transformer's own winding order
    WindingData data{};
};

struct PlantData {
    int bus = 0;
    int node = 0;
    OptionalInt regulated_bus{};
    OptionalInt regulated_node{};
    OptionalReal scheduled_voltage{};
    OptionalReal rmpct{};
};

struct MachineData {
    int bus = 0;
    std::string id = "1";
    OptionalInt status{};
    OwnershipData ownership{};
    OptionalInt wind_mode{};
    OptionalInt base_load{};
    OptionalReal pg{};
    OptionalReal qg{};
    OptionalReal qmax{};
    OptionalReal qmin{};
    OptionalReal pmax{};
    OptionalReal pmin{};
    OptionalReal mbase{};
    OptionalReal zr{};
    OptionalReal zx{};
    OptionalReal rt{};
    OptionalReal xt{};
    OptionalReal gtap{};
    OptionalReal wpf{};
    OptionalText name{};
};

struct FixedShuntData {
    int bus = 0;
    std::string id = "1";
    OptionalInt status{};
    OptionalReal g_mw{};
    OptionalReal b_mvar{};
    OptionalText name{};
};

struct SwitchedShuntData {
    int bus = 0;
    std::string id = "1";
    std::array<OptionalInt, kSwitchedShuntBlockCount> steps{};
    std::array<OptionalReal, kSwitchedShuntBlockCount> mvar_per_step{};
    std::array<OptionalInt, kSwitchedShuntBlockCount> block_status{};
    OptionalInt control_mode{};
    OptionalInt regulated_bus{};
    OptionalInt regulated_node{};
    OptionalInt status{};
    OptionalInt adjustment_method{};
    OptionalReal vswhi{};
    OptionalReal vswlo{};
    OptionalReal initial_mvar{};
    OptionalReal rmpct{};
    OptionalText vsc_name{};
    OptionalText name{};
};

struct LoadData {
    int bus = 0;
    std::string id = "1";
    OptionalInt status{};
    OptionalInt area{};
    OptionalInt zone{};
    OptionalInt owner{};
    OptionalInt scalable{};
    OptionalInt interruptible{};
    OptionalInt distributed_generation_mode{};
    OptionalReal pl{};
    OptionalReal ql{};
    OptionalReal ip{};
    OptionalReal iq{};
    OptionalReal yp{};
    OptionalReal yq{};
    OptionalReal dg_p{};
    OptionalReal dg_q{};
    OptionalText load_type{};
    OptionalText name{};
};

struct InductionMachineData {
    int bus = 0;
    std::string id = "1";
    OptionalInt status{};
    OptionalInt scode{};
    OptionalInt dcode{};
    OptionalInt area{};
    OptionalInt zone{};
    OptionalInt owner{};
    OptionalInt tcode{};
    OptionalInt bcode{};
    OptionalInt pcode{};
    OptionalReal mbase{};
    OptionalReal ratekv{};
    OptionalReal pset{};
    OptionalReal h{};
    OptionalReal a{};
    OptionalReal b{};
    OptionalReal d{};
    OptionalReal e{};
    OptionalReal ra{};
    OptionalReal xa{};
    OptionalReal xm{};
    OptionalReal r1{};
    OptionalReal x1{};
    OptionalReal r2{};
    OptionalReal x2{};
    OptionalReal x3{};
    OptionalReal e1{};
    OptionalReal se1{};
    OptionalReal e2{};
    OptionalReal se2{};
    OptionalReal ia1{};
    OptionalReal ia2{};
    OptionalReal xamult{};
    OptionalText name{};
};

}  // namespace velquin::sim
