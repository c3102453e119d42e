// The whole network case: what a saved-case file holds and what the
// simulator operations work on. Element vectors keep insertion order
// (file order, then creation order).
#pragma once

#include <string>
#include <vector>

#include "model/aux_record.hpp"
#include "model/branch.hpp"
#include "model/bus.hpp"
#include "model/facts_device.hpp"
#include "model/generator.hpp"
#include "model/induction_machine.hpp"
#include "model/load.hpp"
#include "model/multi_terminal_dc_line.hpp"
#include "model/shunt.hpp"
#include "model/substation.hpp"
#include "model/transformer.hpp"
#include "model/two_terminal_dc_line.hpp"
#include "model/vsc_dc_line.hpp"

namespace velquin::sim {

struct CaseIdentification {
    int change_code = 0;                    // IC
    double base_mva = 100.0;                // SBASE
    int revision = 33;                      // format revision the case was read from
    double transformer_rating_units = 0.0;  // XFRRAT
    double branch_rating_units = 0.0;       // NXFRAT
    double base_frequency = 60.0;           // BASFRQ
    std::string title1;
    std::string title2;
    bool operator==(const CaseIdentification&) const = default;
};

// Solution settings and rating-set names (the system-wide block of newer
// file revisions). Lines are kept verbatim, without their line ends.
struct SystemWideData {
    std::vector<std::string> lines;
    bool operator==(const SystemWideData&) const = default;
};

struct Case {
    CaseIdentification identification;
    SystemWideData system_wide;

    std::vector<Bus> buses;
    std::vector<Load> loads;
    std::vector<FixedShunt> fixed_shunts;
    std::vector<Plant> plants;
    std::vector<Machine> machines;
    std::vector<LineBranch> lines;
    std::vector<SwitchingDevice> switching_devices;
    std::vector<Transformer> transformers;
    std::vector<Area> areas;
    std::vector<TwoTerminalDcLine> two_terminal_dc_lines;
    std::vector<VscDcLine> vsc_dc_lines;
    std::vector<ImpedanceCorrectionTable> impedance_correction_tables;
    std::vector<MultiTerminalDcLine> multi_terminal_dc_lines;
    std::vector<MultiSectionLine> multi_section_lines;
    std::vector<Zone> zones;
    std::vector<InterAreaTransfer> inter_area_transfers;
    std::vector<Owner> owners;
    std::vector<FactsDevice> facts_devices;
    std::vector<SwitchedShunt> switched_shunts;
    std::vector<AuxRecord> gne_devices;
    std::vector<InductionMachine> induction_machines;
    std::vector<Substation> substations;

    bool operator==(const Case&) const = default;
};

}  // namespace velquin::sim
