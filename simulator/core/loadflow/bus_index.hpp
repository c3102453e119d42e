// Bus number to bus position lookup for one list of buses. The index owns
// its table: two indexes alive at once, or one whose construction failed
// half-way, cannot disturb each other. Bus numbers are usually dense enough
// for a flat table; sparse numbers (renumbered buses near 999999 in a small
// case) go to an open-addressing hash table instead, so that the table
// never grows with the largest number.
#pragma once

#include <cstdint>
#include <vector>

#include "model/bus.hpp"

namespace velquin::sim::loadflow {

class BusIndex {
public:
    BusIndex() = default;
    explicit BusIndex(const std::vector<Bus>& buses);

    // Position of the bus, or -1 when the list has no such bus. A number
    // given twice finds its last position.
    int find(int number) const {
        if (!direct_.empty()) {
            const auto key = static_cast<std::uint32_t>(number);
            return key < direct_.size() ? direct_[key] : -1;
        }
        if (slots_.empty()) return -1;
        for (std::size_t s = slot_of(number);; s = (s + 1) & mask_) {
            const Slot& slot = slots_[s];
            if (slot.position < 0) return -1;
            if (slot.number == number) return slot.position;
        }
    }

private:
    struct Slot {
        int number = 0;
        int position = -1;  // -1: empty
    };
    std::size_t slot_of(int number) const {
        // Fibonacci hashing spreads consecutive numbers over the table.
        return static_cast<std::size_t>(
                   (static_cast<std::uint64_t>(static_cast<std::uint32_t>(number)) * 0x9E3779B97F4A7C15ULL) >>
                   32) &
               mask_;
    }

    std::vector<int> direct_;  // by number, when numbers are dense
    std::vector<Slot> slots_;  // otherwise
    std::size_t mask_ = 0;
};

}  // namespace velquin::sim::loadflow
