// Bus numbers held one level down: a transformer's three winding buses and
// three controlled buses, a multi-section line's dummy buses. Renumbering
// (velquin_misc.renumber_buses) maps the items of a tuple but not the items of
// the tuples inside it, and the simulator's case data holds these fields as
// tuples of tuples; left alone, a renumbered small case's transformers would
// still name the old numbers, which are the main case's buses.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

// Maps the inner numbers of those fields through `renumber_map`, replacing
// each changed section of `small_case` by a changed copy. A new number is
// never an old one, so numbers mapped already pass unchanged.
void renumber_nested_bus_fields(const py::object& small_case, const py::dict& renumber_map);

}  // namespace velquin::main
