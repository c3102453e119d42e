// Basic value types shared by every part of the network model.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velquin::sim {

using Complex = std::complex<double>;

// Bus numbers users may give. The commercial simulator stops at 999997, but
// bus renumbering hands out new numbers up to 999999, so we take those too.
// Star points of three-winding transformers and other internal buses are
// numbered above this limit.
inline constexpr int kMaxUserBusNumber = 999999;
inline constexpr int kFirstInternalBusNumber = 1000000;

inline constexpr int kOwnerCount = 4;
inline constexpr int kRatingCount = 12;
inline constexpr int kSwitchedShuntBlockCount = 8;

using Ratings = std::array<double, kRatingCount>;

// Up to four owners with their ownership fractions. An owner number of 0
// marks an unused slot.
struct Ownership {
    std::array<int, kOwnerCount> owner{1, 0, 0, 0};
    std::array<double, kOwnerCount> fraction{1.0, 1.0, 1.0, 1.0};
    bool operator==(const Ownership&) const = default;
};

// Identifiers (circuit, load, machine, shunt) are stored without trailing
// blanks; leading blanks are kept because the files keep them.
std::string normalize_identifier(std::string_view text);

// True when two identifiers name the same element: trailing blanks and
// letter case do not matter.
bool same_identifier(std::string_view a, std::string_view b);

}  // namespace velquin::sim
