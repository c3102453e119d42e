// Taking buses out of service and back, and changing bus and machine data.
#include <array>

#include "engine.hpp"
#include "version_bands.hpp"

namespace velquin::ps {

namespace {

constexpr std::array<Band, 4> kMachineChange{{
    {36.0, "machine_chng_5"},
    {35.5, "machine_chng_4"},
    {35.0, "machine_chng_3"},
    {33.0, "machine_chng_2"},
}};

// A list (or a subclass of one) is walked bus by bus; anything else, a
// tuple included, goes to the simulator whole.
void for_each_bus(const py::object& operation, const py::object& bus_numbers) {
    if (!py::isinstance<py::list>(bus_numbers)) {
        operation(bus_numbers);
        return;
    }
    for (const auto& bus : bus_numbers) operation(bus);
}

}  // namespace

void Engine::disconnect_buses(const py::object& bus_numbers) {
    for_each_bus(psspy.attr("dscn"), bus_numbers);
}

void Engine::reconnect_buses(const py::object& bus_numbers) {
    for_each_bus(psspy.attr("recn"), bus_numbers);
}

py::object Engine::change_bus_data(const py::kwargs& kwargs) {
    return psspy.attr("bus_chng_4")(**kwargs);
}

py::object Engine::change_machine_data(const py::kwargs& kwargs) {
    const char* operation = select_operation(version, kMachineChange);
    if (operation == nullptr) return py::none();
    return psspy.attr(operation)(**kwargs);
}

}  // namespace velquin::ps
