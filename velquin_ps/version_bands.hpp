// Version-dependent choice of a simulator operation: thresholds are tested
// highest first with greater-or-equal and the first that holds decides.
#pragma once

#include <limits>
#include <span>

namespace velquin::ps {

struct Band {
    double min_version;
    const char* operation;
};

inline constexpr double kAnyVersion = -std::numeric_limits<double>::infinity();

// The operation of the first band whose threshold `version` reaches, or
// nullptr when the version is below them all.
inline const char* select_operation(double version, std::span<const Band> bands) {
    for (const auto& band : bands) {
        if (version >= band.min_version) return band.operation;
    }
    return nullptr;
}

// Lowest threshold of the bands (for messages about too old a version).
inline double lowest_version(std::span<const Band> bands) {
    return bands.empty() ? kAnyVersion : bands.back().min_version;
}

}  // namespace velquin::ps
