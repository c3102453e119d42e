// Element transfer: every element of one kind of the small case is created
// in the open case, each call's result recorded under the element's key,
// and the case saved once after the loop. A missing key or a short entry
// stops the transfer before the save, with the host's lookup error.
#include "engine.hpp"
#include "python_calls.hpp"
#include "transfer_kinds.hpp"

namespace velquin::ps {

namespace {

py::object ordered_dict() {
    return py::module_::import("collections").attr("OrderedDict")();
}

py::str save_name(const TransferKind& kind, const py::object& main_case_name,
                  const py::object& small_case_name) {
    return join_text({main_case_name, py::str(kind.tag), small_case_name});
}

// The element count, recorded as the total: a count attribute of the case,
// or the number of entries under NUM.
py::object element_count(const TransferKind& kind, const py::object& small_case, const py::object& table) {
    if (kind.count_attribute != nullptr) return small_case.attr(kind.count_attribute);
    return py::int_(py::len(table[py::str("NUM")]));
}

// The kind's creation operation at this version. Without one, elements
// cannot be created, which must not pass silently.
const char* creation_operation(const TransferKind& kind, double version, py::ssize_t count) {
    const char* operation = select_operation(version, kind.operations);
    if (operation == nullptr && count > 0) {
        raise(PyExc_ValueError, std::string(kind.method) + ": simulator version " + version_text(version) +
                                    " has no operation to create " + kind.elements + " (" +
                                    version_text(lowest_version(kind.operations)) +
                                    " or later is needed), and the small case holds " +
                                    std::to_string(count));
    }
    return operation;
}

}  // namespace

void Engine::save_transfer(const py::object& directory, const py::str& name) {
    psspy.attr("save")(py::arg("sfile") = py::module_::import("os.path").attr("join")(directory, name));
}

py::object Engine::transfer(const TransferKind& kind, const py::object& small_case,
                            const py::object& main_case_name, const py::object& small_case_name,
                            const py::object& directory) {
    auto name = save_name(kind, main_case_name, small_case_name);
    auto status = ordered_dict();
    auto table = small_case.attr(kind.table);
    auto count = element_count(kind, small_case, table);
    status[py::str(kind.total_key)] = count;
    const auto elements = as_index(count);
    const char* operation = creation_operation(kind, version, elements);
    if (elements > 0) {
        auto create = psspy.attr(operation);
        const PreparedCall call(kind.call);
        TableColumns columns(table);
        for (py::ssize_t i = 0; i < elements; ++i) {
            const ElementRef element{columns, i, version};
            auto result = call.call(create, element);
            status[call.key(element)] = result;
        }
    }
    save_transfer(directory, name);
    return status;
}

py::object Engine::add_buses(const py::object& small_case, const py::object& main_case_name,
                             const py::object& small_case_name, const py::object& directory) {
    return transfer(bus_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_line_branch(const py::object& small_case, const py::object& main_case_name,
                                   const py::object& small_case_name, const py::object& directory) {
    return transfer(line_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_fixed_shunt(const py::object& small_case, const py::object& main_case_name,
                                   const py::object& small_case_name, const py::object& directory) {
    return transfer(fixed_shunt_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_load(const py::object& small_case, const py::object& main_case_name,
                            const py::object& small_case_name, const py::object& directory) {
    return transfer(load_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_switched_shunt(const py::object& small_case, const py::object& main_case_name,
                                      const py::object& small_case_name, const py::object& directory) {
    return transfer(switched_shunt_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_induction_machine(const py::object& small_case, const py::object& main_case_name,
                                         const py::object& small_case_name, const py::object& directory) {
    return transfer(induction_machine_transfer(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::modify_gen(const py::object& small_case, const py::object& main_case_name,
                              const py::object& small_case_name, const py::object& directory) {
    return transfer(generator_modification(), small_case, main_case_name, small_case_name, directory);
}

py::object Engine::add_gen(const py::object& small_case, const py::object& main_case_name,
                           const py::object& small_case_name, const py::object& directory) {
    const auto& kind = generator_transfer();
    auto name = save_name(kind, main_case_name, small_case_name);
    auto status = ordered_dict();
    auto table = small_case.attr(kind.table);
    auto count = element_count(kind, small_case, table);
    status[py::str(kind.total_key)] = count;
    const auto machines = as_index(count);
    const char* machine_operation = creation_operation(kind, version, machines);
    if (machines > 0) {
        auto create_plant = psspy.attr("plant_data_4");
        auto create_machine = psspy.attr(machine_operation);
        const PreparedCall plant(plant_call());
        const PreparedCall machine(kind.call);
        TableColumns columns(table);
        for (py::ssize_t i = 0; i < machines; ++i) {
            const ElementRef element{columns, i, version};
            // Several machines of one bus write its plant again; the bus
            // keeps one plant entry, holding the last result.
            auto plant_result = plant.call(create_plant, element);
            status[plant.key(element)] = plant_result;
            auto machine_result = machine.call(create_machine, element);
            status[machine.key(element)] = machine_result;
        }
    }
    save_transfer(directory, name);
    return status;
}

py::object Engine::add_trn_branch(const py::object& small_case, const py::object& main_case_name,
                                  const py::object& small_case_name, const py::object& directory) {
    const auto& kind = transformer_transfer();
    auto name = save_name(kind, main_case_name, small_case_name);
    auto status = ordered_dict();
    auto table = small_case.attr(kind.table);
    auto count = element_count(kind, small_case, table);
    status[py::str(kind.total_key)] = count;
    const auto transformers = as_index(count);
    const PreparedCall two_winding(two_winding_call());
    const PreparedCall impedance(three_winding_impedance_call());
    const PreparedCall winding(three_winding_winding_call());
    TableColumns columns(table);
    for (py::ssize_t i = 0; i < transformers; ++i) {
        const ElementRef element{columns, i, version};
        // The third bus is 0 for a two-winding transformer.
        auto third_bus = evaluate(member("BUSNUM", 2), element);
        if (third_bus.equal(py::int_(0))) {
            auto result = two_winding.call(psspy.attr(kTwoWindingOperation), element);
            status[two_winding.key(element)] = result[py::int_(0)];
            continue;
        }
        auto result = impedance.call(psspy.attr(kThreeWindingImpedanceOperation), element);
        status[impedance.key(element)] = result[py::int_(0)];
        for (int winding_index = 0; winding_index < 3; ++winding_index) {
            const ElementRef this_winding{columns, i, version, winding_index};
            auto winding_result = winding.call(psspy.attr(kThreeWindingWindingOperation), this_winding);
            status[winding.key(this_winding)] = winding_result[py::int_(0)];
        }
    }
    save_transfer(directory, name);
    return status;
}

}  // namespace velquin::ps
