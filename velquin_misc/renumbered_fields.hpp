// Every (section, field) of a case-data object that holds bus numbers, in
// the order they are rewritten and then validated.
#pragma once

#include <array>

namespace velquin::misc {

struct RenumberedField {
    const char* section;
    const char* field;
};

inline constexpr std::array<RenumberedField, 30> kRenumberedFields{{
    {"pssbus", "NUM"},    {"psslod", "NUM"},    {"pssfsh", "NUM"},    {"pssgen", "NUM"},
    {"pssgen", "IREG"},   {"psswsh", "NUM"},    {"psswsh", "SWREM"},  {"psssub", "NUM"},
    {"pssind", "NUM"},    {"pssald", "NUM"},    {"psstrn", "CONBUS"}, {"pssabx", "FRMBUS"},
    {"pssabx", "TOBUS"},  {"pssmsl", "FRMBUS"}, {"pssmsl", "TOBUS"},  {"pssmsl", "DUMBUS"},
    {"pssmsl", "METBUS"}, {"pssbrn", "FRMBUS"}, {"pssbrn", "TOBUS"},  {"pssbrn", "METBUS"},
    {"pss3wt", "BUS1ST"}, {"pss3wt", "BUS2ND"}, {"pss3wt", "BUS3RD"}, {"pss3wt", "NMETER"},
    {"casbrn", "FRMBUS"}, {"casbrn", "TOBUS"},  {"casbrn", "METBUS"}, {"castrn", "BUSNUM"},
    {"castrn", "METBUS"}, {"castrn", "CONBUS"},
}};

}  // namespace velquin::misc
