// The exact key of what a load-flow solution reads of a case: canonical
// bytes of every record, taken member by member through the saved-case
// field layout (casefile/case_layout.hpp), so that a member added to a
// model struct, or a list added to the case, fails to compile until it is
// placed there. The solution fields (solution_fields.hpp) are kept apart
// from the network data. Bytes are compared, not hashed: doubles by their
// bits, so that -0 and +0, or two values that swap signs, always differ.
#pragma once

#include <string>

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

class NetworkKey {
public:
    // Compares the network data of `c` and the build settings with the
    // bytes taken at the last call, and keeps the new bytes. True when
    // they are exactly the same.
    bool update(const Case& c, const BuildSettings& settings);
    // The next update reports a change.
    void clear() { bytes_.clear(); }
    std::size_t size() const { return bytes_.size(); }

private:
    std::string bytes_;
};

// Appends the bytes of every solution field of `c`, in case order.
void append_solution_fields(std::string& out, const Case& c);

}  // namespace velquin::sim::loadflow
