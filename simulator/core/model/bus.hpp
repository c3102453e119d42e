// Buses and the bookkeeping tables that buses refer to.
#pragma once

#include <string>

#include "model/types.hpp"

namespace velquin::sim {

enum BusType : int {
    kLoadBus = 1,       // PQ
    kGeneratorBus = 2,  // PV
    kSwingBus = 3,
    kIsolatedBus = 4,  // out of service
};

struct Bus {
    int number = 0;
    std::string name;
    double base_kv = 0.0;
    int type = kLoadBus;
    int area = 1;
    int zone = 1;
    int owner = 1;
    double vm = 1.0;      // pu
    double va_deg = 0.0;  // degrees
    double normal_vmax = 1.1;
    double normal_vmin = 0.9;
    double emergency_vmax = 1.1;
    double emergency_vmin = 0.9;
    // Type the bus had before it was taken out of service by a disconnect
    // operation; 0 when it was not. A reconnect restores it.
    int type_before_disconnect = 0;

    bool in_service() const { return type != kIsolatedBus; }
    bool operator==(const Bus&) const = default;
};

struct Area {
    int number = 0;
    int swing_bus = 0;        // ISW
    double desired_mw = 0.0;  // PDES
    double tolerance_mw = 10.0;
    std::string name;
    bool operator==(const Area&) const = default;
};

struct Zone {
    int number = 0;
    std::string name;
    bool operator==(const Zone&) const = default;
};

struct Owner {
    int number = 0;
    std::string name;
    bool operator==(const Owner&) const = default;
};

struct InterAreaTransfer {
    int from_area = 0;
    int to_area = 0;
    std::string id = "1";
    double mw = 0.0;
    bool operator==(const InterAreaTransfer&) const = default;
};

}  // namespace velquin::sim
