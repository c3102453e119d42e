// Outcome of an operation on a case: a code, 0 meaning done, and for a
// refusal one line saying why. A refused operation leaves the case as it was.
#pragma once

#include <string>
#include <utility>

namespace velquin::sim {

// Codes of the element operations (creation, change, disconnect, reconnect).
enum class ElementCode : int {
    kDone = 0,
    kBusNotFound = 1,        // a bus the call names does not exist
    kBusOutOfRange = 2,      // a new bus number outside 1..999999
    kInvalidIdentifier = 3,  // empty, longer than two characters, or '&' on a line
    kInvalidValue = 4,       // a value outside its range, or not finite
    kElementNotFound = 5,    // the element to change does not exist
    kDuplicate = 6,          // the circuit is taken by another kind of branch
    kRepeatedBus = 7,        // the same bus at two ends
    kInvalidNode = 8,        // a node that is not a node of the bus
    kNoPlant = 9,            // a machine at a bus without plant data
    kNoCase = 10,            // no case in memory
};

struct OperationResult {
    int code = 0;
    std::string message;  // empty when done

    bool ok() const { return code == 0; }
    static OperationResult done() { return {}; }
};

inline OperationResult refuse(ElementCode code, std::string message) {
    return OperationResult{static_cast<int>(code), std::move(message)};
}

}  // namespace velquin::sim
