#include "operations/area_operations.hpp"

#include "operations/checks.hpp"

namespace velquin::sim {

OperationResult set_area_data(Case& c, CaseIndex& index, const AreaData& d) {
    Checks checks(c, index);
    checks.range("area", OptionalInt{d.number}, 1, kMaxAreaZoneOwner);
    checks.bus_or_none("area slack bus", d.swing_bus);
    checks.finite("PDES", d.desired_mw);
    checks.non_negative("PTOL", d.tolerance_mw);
    if (d.name && normalize_identifier(*d.name).size() > 12)
        checks.fail(ElementCode::kInvalidValue,
                    "area name '" + *d.name + "' is longer than twelve characters");
    if (!checks.ok()) return checks.result();

    Area* area = nullptr;
    for (Area& a : c.areas)
        if (a.number == d.number) area = &a;
    if (area == nullptr) {
        area = &c.areas.emplace_back();
        area->number = d.number;
    }
    assign(area->swing_bus, d.swing_bus);
    assign(area->desired_mw, d.desired_mw);
    assign(area->tolerance_mw, d.tolerance_mw);
    if (d.name) area->name = normalize_identifier(*d.name);
    return OperationResult::done();
}

OperationResult set_inter_area_transfer_data(Case& c, CaseIndex& index, const InterAreaTransferData& d) {
    Checks checks(c, index);
    checks.range("from area", OptionalInt{d.from_area}, 1, kMaxAreaZoneOwner);
    checks.range("to area", OptionalInt{d.to_area}, 1, kMaxAreaZoneOwner);
    if (checks.ok() && d.from_area == d.to_area)
        checks.fail(ElementCode::kInvalidValue, "a transfer needs two different areas");
    const std::string id = normalize_identifier(d.id);
    if (checks.ok() && id.size() != 1)
        checks.fail(ElementCode::kInvalidIdentifier,
                    "transfer identifier '" + d.id + "' must have one character");
    checks.finite("PTRAN", d.mw);
    if (!checks.ok()) return checks.result();

    InterAreaTransfer* transfer = nullptr;
    for (InterAreaTransfer& t : c.inter_area_transfers)
        if (t.from_area == d.from_area && t.to_area == d.to_area && same_identifier(t.id, id)) transfer = &t;
    if (transfer == nullptr) {
        transfer = &c.inter_area_transfers.emplace_back();
        transfer->from_area = d.from_area;
        transfer->to_area = d.to_area;
        transfer->id = id;
    }
    assign(transfer->mw, d.mw);
    return OperationResult::done();
}

}  // namespace velquin::sim
