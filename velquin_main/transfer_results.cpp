#include "transfer_results.hpp"

#include <cstring>

#include "python_support.hpp"

namespace velquin::main {

TransferResults read_transfer_results(const py::dict& statuses) {
    TransferResults results;
    for (const auto& step : kTransferSteps) {
        const py::str section(step.status_section);
        if (!statuses.contains(section)) continue;
        const py::object status = statuses[section];
        py::object total = py::none();
        long refused = 0;
        bool first = true;
        for (const auto& entry : status.attr("items")()) {
            auto [key, code] = unpack_pair(entry);
            if (first) {  // the kind's total
                first = false;
                total = code;
                continue;
            }
            if (!python::is_nonzero(code)) continue;
            ++refused;
            results.refused.append(
                py::dict(py::arg("kind") = step.kind, py::arg("element") = key, py::arg("code") = code));
            if (std::strcmp(step.kind, "bus") == 0) results.refused_bus_keys.add(key);
        }
        results.elements[py::str(step.kind)] =
            py::dict(py::arg("total") = total, py::arg("refused") = refused);
    }
    return results;
}

}  // namespace velquin::main
