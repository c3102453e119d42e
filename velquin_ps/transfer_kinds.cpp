#include "transfer_kinds.hpp"

#include <array>
#include <initializer_list>

namespace velquin::ps {

namespace {

// `members` reads key[i][j] unless an outer member is given.
constexpr int kNoOuter = -2;

constexpr std::array<const char*, 12> kRatings{"ratings1", "ratings2",  "ratings3",  "ratings4",
                                               "ratings5", "ratings6",  "ratings7",  "ratings8",
                                               "ratings9", "ratings10", "ratings11", "ratings12"};

std::vector<Argument> join(std::initializer_list<std::vector<Argument>> parts) {
    std::vector<Argument> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// keywords[j] <- key[i][j] (or key[i][outer][j] when `outer` is given).
template <std::size_t N>
std::vector<Argument> members(const std::array<const char*, N>& keywords, const char* key,
                              int outer = kNoOuter, double since = kAnyVersion) {
    std::vector<Argument> list;
    for (std::size_t j = 0; j < N; ++j) {
        const int index = static_cast<int>(j);
        list.push_back(
            {keywords[j], outer == kNoOuter ? member(key, index) : member(key, outer, index), since});
    }
    return list;
}

// The twelve ratings of a sequence, RATINGS[i][outer][0..11] or RATINGS[i][0..11].
std::vector<Argument> ratings(int outer = kNoOuter) {
    return members(kRatings, "RATINGS", outer);
}

std::vector<KeyPart> bus_and_id(const char* label, const char* id_key) {
    return {text(label), text_of(entry("NUM")), text(", Id:"), text_of(entry(id_key))};
}

}  // namespace

const TransferKind& bus_transfer() {
    static const TransferKind kind{
        "add_buses",
        "buses",
        "pssbus",
        nullptr,
        "total_bus",
        "_added_bus_",
        {{kAnyVersion, "bus_data_4"}},
        {{{"ibus", entry("NUM")},
          {"inode", constant(0)},
          {"intgar1", entry("IDE")},
          {"intgar2", entry("AREA")},
          {"intgar3", entry("ZONE")},
          {"intgar4", entry("OWNER")},
          {"realar1", entry("BASKV")},
          {"realar2", entry("VM")},
          {"realar3", entry("VA")},
          {"realar4", entry("NMAXV")},
          {"realar5", entry("NMINV")},
          {"realar6", entry("EMAXV")},
          {"realar7", entry("EMINV")},
          {"name", entry("NAME")}},
         {text_of(entry("NUM"))}},
    };
    return kind;
}

const TransferKind& line_transfer() {
    static const TransferKind kind{
        "add_line_branch",
        "line branches",
        "casbrn",
        "cas_nbrn",
        "total_line_branch",
        "_added_line_",
        {{36.0, "branch_data_4"}, {34.0, "branch_data_3"}},
        {join({
             {{"ibus", entry("FRMBUS")},
              {"jbus", entry("TOBUS")},
              {"ckt", entry("CKT")},
              {"intgar1", entry("STAT")},
              {"intgar2", entry("METBUS")}},
             members(std::array{"intgar3", "intgar4", "intgar5", "intgar6"}, "OWNER"),
             {{"realar1", entry("RX").real()},
              {"realar2", entry("RX").imag()},
              {"realar3", entry("B")},
              {"realar4", entry("GBI").real()},
              {"realar5", entry("GBI").imag()},
              {"realar6", entry("GBJ").real()},
              {"realar7", entry("GBJ").imag()},
              {"realar8", entry("LINLEN")}},
             members(std::array{"realar9", "realar10", "realar11", "realar12"}, "OWNPCT"),
             ratings(),
             {{"namear", entry("BRNAME")}},
         }),
         {text_of(entry("FRMBUS")), text(" to "), text_of(entry("TOBUS")), text(", Ckt:"),
          text_of(entry("CKT"))}},
    };
    return kind;
}

const TransferKind& fixed_shunt_transfer() {
    static const TransferKind kind{
        "add_fixed_shunt",
        "fixed shunts",
        "pssfsh",
        nullptr,
        "total_fsh",
        "_added_fixed_shunt_",
        {{36.0, "shunt_data_2"}, {31.0, "shunt_data"}},
        {{{"ibus", entry("NUM")},
          {"id", entry("ID")},
          {"intgar1", entry("STATUS")},
          {"realar1", entry("SHUNT").real().x100()},
          {"realar2", entry("SHUNT").imag().x100()}},
         bus_and_id("Fixed Shunt ", "ID")},
    };
    return kind;
}

const TransferKind& load_transfer() {
    static const TransferKind kind{
        "add_load",
        "loads",
        "psslod",
        nullptr,
        "total_lod",
        "_added_load_",
        {{36.0, "load_data_7"}, {35.0, "load_data_6"}, {34.4, "load_data_5"}},
        {{{"ibus", entry("NUM")},
          {"id", entry("ID")},
          {"intgar1", entry("STATUS")},
          {"intgar2", entry("AREA")},
          {"intgar3", entry("ZONE")},
          {"intgar4", entry("OWNER")},
          {"intgar5", entry("LDSCALE")},
          {"intgar6", entry("LDINT")},
          {"intgar7", entry("DGENM")},
          {"realar1", member("LOAD", 0).real().x100()},
          {"realar2", member("LOAD", 0).imag().x100()},
          {"realar3", member("LOAD", 1).real().x100()},
          {"realar4", member("LOAD", 1).imag().x100()},
          {"realar5", member("LOAD", 2).real().x100()},
          {"realar6", member("LOAD", 2).imag().x100()},
          {"realar7", entry("DGENPQ").real().x100()},
          {"realar8", entry("DGENPQ").imag().x100()},
          {"ldname", entry("LDNAME"), 36.0}},
         bus_and_id("Load ", "ID")},
    };
    return kind;
}

const TransferKind& switched_shunt_transfer() {
    static const TransferKind kind{
        "add_switched_shunt",
        "switched shunts",
        "psswsh",
        nullptr,
        "total_swsh",
        "_added_switched_shunt_",
        {{36.0, "switched_shunt_data_6"}, {35.0, "switched_shunt_data_5"}, {34.4, "switched_shunt_data_4"}},
        {join({
             {{"ibus", entry("NUM")}, {"id", entry("ID")}},
             members(std::array{"intgar1", "intgar2", "intgar3", "intgar4", "intgar5", "intgar6", "intgar7",
                                "intgar8"},
                     "NI"),
             {{"intgar9", entry("MODSW")},
              {"intgar10", entry("SWREM")},
              {"intgar11", entry("SWNOD")},
              {"intgar12", entry("STAT")},
              {"intgar13", entry("ADJM")},
              {"intgar14", member("SI", 0)},
              // Block statuses 2 to 8 exist from release 35 on.
              {"intgar15", member("SI", 1), 35.0},
              {"intgar16", member("SI", 2), 35.0},
              {"intgar17", member("SI", 3), 35.0},
              {"intgar18", member("SI", 4), 35.0},
              {"intgar19", member("SI", 5), 35.0},
              {"intgar20", member("SI", 6), 35.0},
              {"intgar21", member("SI", 7), 35.0},
              // Block increments are powers; the initial admittance is not scaled.
              {"realar1", member("BI", 0).x100()},
              {"realar2", member("BI", 1).x100()},
              {"realar3", member("BI", 2).x100()},
              {"realar4", member("BI", 3).x100()},
              {"realar5", member("BI", 4).x100()},
              {"realar6", member("BI", 5).x100()},
              {"realar7", member("BI", 6).x100()},
              {"realar8", member("BI", 7).x100()},
              {"realar9", entry("VSWHI")},
              {"realar10", entry("VSWLO")},
              {"realar11", entry("BINIT")},
              {"realar12", entry("RMPCT")},
              {"swsnam", entry("SWNAME"), 36.0}},
         }),
         bus_and_id("Switched Shunt ", "ID")},
    };
    return kind;
}

const TransferKind& induction_machine_transfer() {
    static const TransferKind kind{
        "add_induction_machine",
        "induction machines",
        "pssind",
        nullptr,
        "total_ind",
        "_added_ind_",
        {{36.0, "induction_machine_data_2"}, {33.0, "induction_machine_data"}},
        {{{"ibus", entry("NUM")},
          {"id", entry("ID")},
          {"intgar1", entry("STATUS")},
          {"intgar2", entry("SCODE")},
          {"intgar3", entry("DCODE")},
          {"intgar4", entry("AREA")},
          {"intgar5", entry("ZONE")},
          {"intgar6", entry("OWNER")},
          {"intgar7", entry("TCODE")},
          {"intgar8", entry("BCODE")},
          {"intgar9", entry("PCODE")},
          {"realar1", entry("MBASE")},
          {"realar2", entry("RATEKV")},
          {"realar3", entry("PSET")},
          {"realar4", entry("H")},
          {"realar5", entry("A")},
          {"realar6", entry("B")},
          {"realar7", entry("D")},
          {"realar8", entry("E")},
          {"realar9", entry("RA")},
          {"realar10", entry("XA")},
          {"realar11", entry("XM")},
          {"realar12", entry("R1")},
          {"realar13", entry("X1")},
          {"realar14", entry("R2")},
          {"realar15", entry("X2")},
          {"realar16", entry("X3")},
          {"realar17", entry("E1")},
          {"realar18", entry("SE1")},
          {"realar19", entry("E2")},
          {"realar20", entry("SE2")},
          {"realar21", entry("IA1")},
          {"realar22", entry("IA2")},
          {"realar23", entry("IAM")},
          {"indnamear", entry("IMNAME"), 36.0}},
         bus_and_id("Induction Machine ", "ID")},
    };
    return kind;
}

namespace {

constexpr std::array<Band, 4> kMachineOperations{{
    {36.0, "machine_data_5"},
    {35.3, "machine_data_4"},
    {35.0, "machine_data_3"},
    {31.0, "machine_data_2"},
}};

std::vector<Band> machine_operations() {
    return {kMachineOperations.begin(), kMachineOperations.end()};
}

}  // namespace

const CallMapping& plant_call() {
    static const CallMapping call{
        {{"ibus", entry("NUM")},
         {"inode", constant(0)},
         {"intgar1", entry("IREG")},
         {"intgar2", newer_than_34(entry("NREG"))},
         {"realar1", entry("VS")},
         {"realar2", entry("RMPCT")}},
        {text("Plant "), text_of(entry("NUM"))},
    };
    return call;
}

const TransferKind& generator_transfer() {
    static const TransferKind kind{
        "add_gen",
        "generators",
        "pssgen",
        nullptr,
        "total_gen",
        "_added_gen_",
        machine_operations(),
        {join({
             {{"ibus", entry("NUM")}, {"id", entry("IDE")}, {"intgar1", entry("STAT")}},
             members(std::array{"intgar2", "intgar3", "intgar4", "intgar5"}, "OWNER"),
             {{"intgar6", entry("WMOD")},
              {"intgar7", entry("BASLOD"), 36.0},
              // Powers are held in hundreds of MW; the call takes MW and Mvar.
              {"realar1", entry("PG").x100()},
              {"realar2", entry("QG").x100()},
              {"realar3", entry("QT").x100()},
              {"realar4", entry("QB").x100()},
              {"realar5", entry("PT").x100()},
              {"realar6", entry("PB").x100()},
              {"realar7", entry("MBASE")},
              {"realar8", entry("ZSORCE").real()},
              {"realar9", entry("ZSORCE").imag()},
              {"realar10", entry("XTRAN").real()},
              {"realar11", entry("XTRAN").imag()},
              {"realar12", entry("GTAP")}},
             members(std::array{"realar13", "realar14", "realar15", "realar16"}, "OWNPCT"),
             {{"realar17", entry("WPF")}, {"namear2", entry("MCNAME"), 36.0}},
         }),
         {text("Gen "), text_of(entry("NUM")), text(", Id:"), text_of(entry("IDE"))}},
    };
    return kind;
}

const TransferKind& generator_modification() {
    static const TransferKind kind{
        "modify_gen",
        "generators",
        "pssgen",
        nullptr,
        "total_gen",
        "_modified_gen_",
        machine_operations(),
        {{{"ibus", entry("NUM")},
          {"id", entry("IDE")},
          {"realar2", entry("QG").x100()},
          {"realar3", entry("QT").x100()},
          {"realar4", entry("QB").x100()}},
         {text("Gen modified "), text_of(entry("NUM")), text(", Id:"), text_of(entry("IDE"))}},
    };
    return kind;
}

const TransferKind& transformer_transfer() {
    static const TransferKind kind{
        "add_trn_branch",
        "transformers",
        "castrn",
        "cas_ntrn",
        "total_trn_branch",
        "_added_trn_",
        {{kAnyVersion, kTwoWindingOperation}},
        {},
    };
    return kind;
}

const CallMapping& two_winding_call() {
    static const CallMapping call{
        join({
            {{"ibus", member("BUSNUM", 0)},
             {"jbus", member("BUSNUM", 1)},
             {"ckt", entry("CKT")},
             {"intgar1", entry("STAT")},
             {"intgar2", entry("METBUS")}},
            members(std::array{"intgar3", "intgar4", "intgar5", "intgar6"}, "OWNER"),
            {{"intgar7", winding_one_unless_zero("NTAPS")},
             {"intgar8", member("TABLE", 0)},
             {"intgar10", winding_one_unless_zero("CONBUS")},
             {"intgar11", newer_than_34(member("NOD", 0))},
             {"intgar13", winding_one_unless_zero("CNTL")},
             {"intgar14", entry("CW")},
             {"intgar15", entry("CZ")},
             {"intgar16", entry("CM")},
             {"realari1", member("RX", 0).real()},
             {"realari2", member("RX", 0).imag()},
             {"realari3", member("SBASE", 0)},
             {"realari4", member("WIND", 0)},
             {"realari5", member("NOMV", 0)},
             {"realari6", winding_one_unless_zero("ANG")},
             {"realari7", member("WIND", 1)},
             {"realari8", member("NOMV", 1)}},
            members(std::array{"realari9", "realari10", "realari11", "realari12"}, "OWNPCT"),
            {{"realari13", entry("MAG1")},
             {"realari14", entry("MAG2")},
             {"realari15", winding_one_unless_zero("RMAX")},
             {"realari16", winding_one_unless_zero("RMIN")},
             {"realari17", winding_one_unless_zero("VMAX")},
             {"realari18", winding_one_unless_zero("VMIN")},
             {"realari19", member("XFRCMP", 0).real()},
             {"realari20", member("XFRCMP", 0).imag()},
             {"realari21", member("CNXA", 0)}},
            ratings(0),
            {{"namear", entry("TRNAME")}, {"vgrpar", entry("VECGRP")}},
        }),
        {text_of(member("BUSNUM", 0)), text(" to "), text_of(member("BUSNUM", 1)), text(", Ckt:"),
         text_of(entry("CKT"))},
    };
    return call;
}

const CallMapping& three_winding_impedance_call() {
    static const CallMapping call{
        join({
            {{"ibus", member("BUSNUM", 0)},
             {"jbus", member("BUSNUM", 1)},
             {"kbus", member("BUSNUM", 2)},
             {"ckt", entry("CKT")}},
            members(std::array{"intgar1", "intgar2", "intgar3", "intgar4"}, "OWNER"),
            {{"intgar5", entry("CW")},
             {"intgar6", entry("CZ")},
             {"intgar7", entry("CM")},
             {"intgar8", entry("STAT")},
             {"intgar9", entry("METBUS")},
             {"intgar12", newer_than_34(entry("ZCOD"))},
             {"realari1", member("RX", 0).real()},
             {"realari2", member("RX", 0).imag()},
             {"realari3", member("RX", 1).real()},
             {"realari4", member("RX", 1).imag()},
             {"realari5", member("RX", 2).real()},
             {"realari6", member("RX", 2).imag()},
             {"realari7", member("SBASE", 0)},
             {"realari8", member("SBASE", 1)},
             {"realari9", member("SBASE", 2)},
             {"realari10", entry("MAG1")},
             {"realari11", entry("MAG2")}},
            members(std::array{"realari12", "realari13", "realari14", "realari15"}, "OWNPCT"),
            {{"namear", entry("TRNAME")}, {"vgrpar", entry("VECGRP")}},
        }),
        {text_of(member("BUSNUM", 0)), text(" to "), text_of(member("BUSNUM", 1)), text(" to "),
         text_of(member("BUSNUM", 2)), text(", Id:"), text_of(entry("CKT"))},
    };
    return call;
}

const CallMapping& three_winding_winding_call() {
    static const CallMapping call{
        join({
            {{"ibus", member("BUSNUM", 0)},
             {"jbus", member("BUSNUM", 1)},
             {"kbus", member("BUSNUM", 2)},
             {"ckt", entry("CKT")},
             {"warg", winding_number()},
             {"intgar1", member("NTAPS", kThisWinding)},
             {"intgar2", member("TABLE", kThisWinding)},
             {"intgar3", member("CONBUS", kThisWinding)},
             {"intgar4", newer_than_34(member("NOD", kThisWinding))},
             {"intgar6", member("CNTL", kThisWinding)},
             {"realari1", member("WIND", kThisWinding)},
             {"realari2", member("NOMV", kThisWinding)},
             {"realari3", member("ANG", kThisWinding)},
             {"realari4", member("RMAX", kThisWinding)},
             {"realari5", member("RMIN", kThisWinding)},
             {"realari6", member("VMAX", kThisWinding)},
             {"realari7", member("VMIN", kThisWinding)},
             {"realari8", member("XFRCMP", kThisWinding).real()},
             {"realari9", member("XFRCMP", kThisWinding).imag()},
             {"realari10", member("CNXA", kThisWinding)}},
            ratings(kThisWinding),
        }),
        {text_of(member("BUSNUM", 0)), text(" to "), text_of(member("BUSNUM", 1)), text(" to "),
         text_of(member("BUSNUM", 2)), text(" WINDING "), text_of(winding_number()), text(", Ckt:"),
         text_of(entry("CKT"))},
    };
    return call;
}

}  // namespace velquin::ps
