#include "operations/bus_query.hpp"

#include <cctype>
#include <numbers>

namespace velquin::sim {

BusValue bus_value(const Case& c, CaseIndex& index, int bus, std::string_view quantity) {
    const auto position = index.bus(c, bus);
    if (!position) {
        return BusValue{static_cast<int>(BusQueryCode::kBusNotFound),
                        {},
                        "bus " + std::to_string(bus) + " does not exist"};
    }
    while (!quantity.empty() && std::isspace(static_cast<unsigned char>(quantity.front())))
        quantity.remove_prefix(1);
    while (!quantity.empty() && std::isspace(static_cast<unsigned char>(quantity.back())))
        quantity.remove_suffix(1);
    std::string key(quantity);
    for (char& ch : key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));

    const Bus& b = c.buses[*position];
    BusValue result;
    if (key == "BASE")
        result.value = b.base_kv;
    else if (key == "PU")
        result.value = b.vm;
    else if (key == "KV")
        result.value = b.vm * b.base_kv;
    else if (key == "ANGLE")
        result.value = b.va_deg * std::numbers::pi / 180.0;
    else if (key == "ANGLED")
        result.value = b.va_deg;
    else if (key == "NVLMHI")
        result.value = b.normal_vmax;
    else if (key == "NVLMLO")
        result.value = b.normal_vmin;
    else if (key == "EVLMHI")
        result.value = b.emergency_vmax;
    else if (key == "EVLMLO")
        result.value = b.emergency_vmin;
    else if (key == "TYPE")
        result.value = b.type;
    else if (key == "AREA")
        result.value = b.area;
    else if (key == "ZONE")
        result.value = b.zone;
    else if (key == "OWNER")
        result.value = b.owner;
    else {
        result.code = static_cast<int>(BusQueryCode::kUnknownQuantity);
        result.message = "unknown bus quantity '" + std::string(quantity) + "'";
    }
    return result;
}

}  // namespace velquin::sim
