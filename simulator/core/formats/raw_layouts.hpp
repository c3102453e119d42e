// Field layouts of RAW records, revisions 33, 34 and 35.
//
// Every record kind has one canonical field list (the union of the fields
// of all revisions) and, per revision, the order in which the file holds
// them. The reader maps a line's fields onto the canonical list, the writer
// takes the canonical values in the order of the revision it writes; a
// field a revision lacks is simply absent from that revision's order.
//
// Typed device records (DC lines, FACTS devices) map their members onto
// these canonical names in raw_device_fields.hpp. GNE devices are kept as
// AuxRecords whose `fields` follow the canonical order below exactly (an
// absent or empty field is std::monostate):
//
// GNE device (Case::gne_devices)
//   fields: NAME MODEL NTERM NREAL NINTG NCHAR ST OWNER NMETR
//   groups[0]: terminal buses, one field each (BUSi)
//   groups[1]: real values, groups[2]: integer values, groups[3]: text
//   values, one field each. The counts are written from the group sizes.
//
// Saved cases of format 1 kept the DC lines and FACTS devices as
// AuxRecords in the canonical order of their layouts here (two-terminal and
// VSC converters in groups[0]; multi-terminal converters, DC buses and DC
// links in groups[0..2]); casefile/legacy_device_records.cpp reads them.
#pragma once

#include <string_view>
#include <vector>

namespace velquin::sim {

enum class RawFieldType : unsigned char {
    Integer,
    Real,
    Text,
    // A real that the simulator writes as an integer when it is integral
    // (rating-unit flags of the case line).
    Code,
};

struct RawField {
    std::string_view name;
    RawFieldType type = RawFieldType::Real;
    int width = 0;  // text fields are padded to this many characters
};

class RawLayout {
public:
    // `canonical`: "NAME:type[width] ..." with type i, r, t or c;
    // `v33`, `v34`, `v35`: field names in file order, blank separated.
    RawLayout(std::string_view kind, std::string_view canonical, std::string_view v33, std::string_view v34,
              std::string_view v35);

    std::string_view kind() const { return kind_; }
    const std::vector<RawField>& fields() const { return fields_; }
    // Canonical index of a field; throws std::logic_error for a name the
    // layout does not have (a programming error).
    int index(std::string_view name) const;
    // For revision 33, 34 or 35: canonical index of each file position.
    const std::vector<int>& order(int revision) const { return order_[revision_slot(revision)]; }
    // For revision 33, 34 or 35: file position of each canonical field, -1
    // when the revision does not have it.
    const std::vector<int>& position(int revision) const { return position_[revision_slot(revision)]; }

private:
    static int revision_slot(int revision) { return revision <= 33 ? 0 : revision == 34 ? 1 : 2; }

    std::string_view kind_;
    std::vector<RawField> fields_;
    std::vector<int> order_[3];
    std::vector<int> position_[3];
};

namespace raw_layout {
const RawLayout& case_identification();
const RawLayout& bus();
const RawLayout& load();
const RawLayout& fixed_shunt();
const RawLayout& generator();
const RawLayout& branch();
const RawLayout& switching_device();
const RawLayout& transformer();
const RawLayout& transformer_impedance();
const RawLayout& winding();
const RawLayout& area();
const RawLayout& two_terminal_dc();
const RawLayout& two_terminal_converter();
const RawLayout& vsc_dc();
const RawLayout& vsc_converter();
const RawLayout& mtdc();
const RawLayout& mtdc_converter();
const RawLayout& mtdc_bus();
const RawLayout& mtdc_link();
const RawLayout& multi_section_line();
const RawLayout& zone();
const RawLayout& inter_area_transfer();
const RawLayout& owner();
const RawLayout& facts();
const RawLayout& switched_shunt();
const RawLayout& gne();
const RawLayout& induction_machine();
const RawLayout& substation();
const RawLayout& substation_node();
const RawLayout& substation_switching_device();
}  // namespace raw_layout

}  // namespace velquin::sim
