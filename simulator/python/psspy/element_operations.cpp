// Creating and changing elements of the case in memory, and taking buses
// out of service and back. Each operation maps the simulator's argument
// positions onto the core's optional fields: what is not passed stays
// absent, so a change touches only what the caller gave.
#include <pybind11/stl.h>

#include "api/session.hpp"
#include "common/operation_support.hpp"
#include "operations/branch_operations.hpp"
#include "operations/bus_operations.hpp"
#include "operations/load_shunt_operations.hpp"
#include "operations/machine_operations.hpp"
#include "operations/transformer_operations.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

Session& session() {
    return Session::instance();
}

// ---------------------------------------------------------------- buses

const std::vector<Param> kBusParams = {int_param("ibus"), int_param("inode"), int_array("intgar", 4),
                                       real_array("realar", 7), text_param("name")};

BusData bus_args(const CallArguments& a, const char* function) {
    BusData d;
    d.number = required_int(a, function, "ibus");
    d.node = int_arg(a, "inode").value_or(0);
    d.type = int_arg(a, "intgar", 1);
    d.area = int_arg(a, "intgar", 2);
    d.zone = int_arg(a, "intgar", 3);
    d.owner = int_arg(a, "intgar", 4);
    d.base_kv = real_arg(a, "realar", 1);
    d.vm = real_arg(a, "realar", 2);
    d.va_deg = real_arg(a, "realar", 3);
    d.normal_vmax = real_arg(a, "realar", 4);
    d.normal_vmin = real_arg(a, "realar", 5);
    d.emergency_vmax = real_arg(a, "realar", 6);
    d.emergency_vmin = real_arg(a, "realar", 7);
    d.name = text_arg(a, "name");
    return d;
}

void register_buses(py::module_& m) {
    def_operation(
        m, "bus_data_4", kBusParams,
        [](const CallArguments& a) {
            const BusData d = bus_args(a, "bus_data_4");
            if (!case_in_memory("bus_data_4")) return kNoCaseCode;
            return finish("bus_data_4", set_bus_data(session().current_case(), session().case_index(), d));
        },
        "Creates the bus, or changes the fields given of an existing bus. Returns ierr.");
    def_operation(
        m, "bus_chng_4", kBusParams,
        [](const CallArguments& a) {
            const BusData d = bus_args(a, "bus_chng_4");
            if (!case_in_memory("bus_chng_4")) return kNoCaseCode;
            return finish("bus_chng_4", change_bus_data(session().current_case(), session().case_index(), d));
        },
        "Changes the fields given of an existing bus. Returns ierr.");
    def_operation(
        m, "dscn", {int_param("ibus")},
        [](const CallArguments& a) {
            const int bus = required_int(a, "dscn", "ibus");
            if (!case_in_memory("dscn")) return kNoCaseCode;
            return finish("dscn", disconnect_bus(session().current_case(), session().case_index(), bus));
        },
        "Takes the bus out of service (type 4), remembering its type. Returns ierr.");
    def_operation(
        m, "recn", {int_param("ibus")},
        [](const CallArguments& a) {
            const int bus = required_int(a, "recn", "ibus");
            if (!case_in_memory("recn")) return kNoCaseCode;
            return finish("recn", reconnect_bus(session().current_case(), session().case_index(), bus));
        },
        "Brings a disconnected bus back into service. Returns ierr.");
}

// ---------------------------------------------------------------- lines

void register_lines(py::module_& m) {
    const std::vector<Param> params = {int_param("ibus"),        int_param("jbus"),
                                       text_param("ckt"),        int_array("intgar", 6),
                                       real_array("realar", 12), real_array("ratings", kRatingCount),
                                       text_param("namear")};
    for (const char* name : {"branch_data_3", "branch_data_4"}) {
        def_operation(
            m, name, params,
            [name](const CallArguments& a) {
                LineData d;
                d.from_bus = required_int(a, name, "ibus");
                d.to_bus = required_int(a, name, "jbus");
                d.ckt = text_arg(a, "ckt").value_or("1");
                d.status = int_arg(a, "intgar", 1);
                d.metered_bus = int_arg(a, "intgar", 2);
                d.ownership = ownership_args(a, "intgar", 3, "realar", 9);
                d.r = real_arg(a, "realar", 1);
                d.x = real_arg(a, "realar", 2);
                d.b = real_arg(a, "realar", 3);
                d.gi = real_arg(a, "realar", 4);
                d.bi = real_arg(a, "realar", 5);
                d.gj = real_arg(a, "realar", 6);
                d.bj = real_arg(a, "realar", 7);
                d.length = real_arg(a, "realar", 8);
                d.ratings = ratings_args(a);
                d.name = text_arg(a, "namear");
                if (!case_in_memory(name)) return kNoCaseCode;
                return finish(name, set_line_data(session().current_case(), session().case_index(), d));
            },
            "Creates the non-transformer branch, or changes the fields given of an existing one. Returns "
            "ierr.");
    }
}

// ---------------------------------------------------------- transformers

WindingData winding_args(const CallArguments& a, int ntp, int tab, int cont, int nod, int cod,
                         int first_voltage_real) {
    WindingData w;
    w.tap_positions = int_arg(a, "intgar", ntp);
    w.correction_table = int_arg(a, "intgar", tab);
    w.controlled_bus = int_arg(a, "intgar", cont);
    w.controlled_node = int_arg(a, "intgar", nod);
    w.control_mode = int_arg(a, "intgar", cod);
    w.rmax = real_arg(a, "realari", first_voltage_real);
    w.rmin = real_arg(a, "realari", first_voltage_real + 1);
    w.vmax = real_arg(a, "realari", first_voltage_real + 2);
    w.vmin = real_arg(a, "realari", first_voltage_real + 3);
    w.compensation_r = real_arg(a, "realari", first_voltage_real + 4);
    w.compensation_x = real_arg(a, "realari", first_voltage_real + 5);
    w.connection_angle = real_arg(a, "realari", first_voltage_real + 6);
    w.ratings = ratings_args(a);
    return w;
}

py::tuple transformer_result(const char* function, const TransformerResult& r) {
    return py::make_tuple(finish(function, r.result), py::cast(r.realaro));
}

void register_transformers(py::module_& m) {
    def_operation(
        m, "two_winding_data_6",
        {int_param("ibus"), int_param("jbus"), text_param("ckt"), int_array("intgar", 16),
         real_array("realari", 21), real_array("ratings", kRatingCount), text_param("namear"),
         text_param("vgrpar")},
        [](const CallArguments& a) {
            constexpr const char* name = "two_winding_data_6";
            TwoWindingData d;
            d.bus_i = required_int(a, name, "ibus");
            d.bus_j = required_int(a, name, "jbus");
            d.ckt = text_arg(a, "ckt").value_or("1");
            d.status = int_arg(a, "intgar", 1);
            d.metered_bus = int_arg(a, "intgar", 2);
            d.ownership = ownership_args(a, "intgar", 3, "realari", 9);
            d.winding1_side = int_arg(a, "intgar", 9);
            d.impedance_correction_code = int_arg(a, "intgar", 12);
            d.winding_code = int_arg(a, "intgar", 14);
            d.impedance_code = int_arg(a, "intgar", 15);
            d.magnetizing_code = int_arg(a, "intgar", 16);
            d.r = real_arg(a, "realari", 1);
            d.x = real_arg(a, "realari", 2);
            d.sbase = real_arg(a, "realari", 3);
            d.mag1 = real_arg(a, "realari", 13);
            d.mag2 = real_arg(a, "realari", 14);
            d.winding1 = winding_args(a, 7, 8, 10, 11, 13, 15);
            d.winding1.ratio = real_arg(a, "realari", 4);
            d.winding1.nominal_kv = real_arg(a, "realari", 5);
            d.winding1.angle_deg = real_arg(a, "realari", 6);
            d.winding2_ratio = real_arg(a, "realari", 7);
            d.winding2_nominal_kv = real_arg(a, "realari", 8);
            d.name = text_arg(a, "namear");
            d.vector_group = text_arg(a, "vgrpar");
            if (!case_in_memory(name))
                return py::make_tuple(kNoCaseCode, py::cast(std::vector<double>(2, 0.0)));
            return transformer_result(
                name, set_two_winding_data(session().current_case(), session().case_index(), d));
        },
        "Creates the two-winding transformer, or changes the fields given of an existing one. "
        "Returns (ierr, realaro): R and X in pu on the system base.");

    def_operation(
        m, "three_wnd_imped_data_4",
        {int_param("ibus"), int_param("jbus"), int_param("kbus"), text_param("ckt"), int_array("intgar", 12),
         real_array("realari", 17), text_param("namear"), text_param("vgrpar")},
        [](const CallArguments& a) {
            constexpr const char* name = "three_wnd_imped_data_4";
            ThreeWindingImpedanceData d;
            d.bus_i = required_int(a, name, "ibus");
            d.bus_j = required_int(a, name, "jbus");
            d.bus_k = required_int(a, name, "kbus");
            d.ckt = text_arg(a, "ckt").value_or("1");
            d.ownership = ownership_args(a, "intgar", 1, "realari", 12);
            d.winding_code = int_arg(a, "intgar", 5);
            d.impedance_code = int_arg(a, "intgar", 6);
            d.magnetizing_code = int_arg(a, "intgar", 7);
            d.status = int_arg(a, "intgar", 8);
            d.non_metered_bus = int_arg(a, "intgar", 9);
            d.winding1_bus = int_arg(a, "intgar", 10);
            d.impedance_correction_code = int_arg(a, "intgar", 12);
            for (int p = 0; p < 3; ++p) {
                d.r[static_cast<std::size_t>(p)] = real_arg(a, "realari", 2 * p + 1);
                d.x[static_cast<std::size_t>(p)] = real_arg(a, "realari", 2 * p + 2);
                d.sbase[static_cast<std::size_t>(p)] = real_arg(a, "realari", 7 + p);
            }
            d.mag1 = real_arg(a, "realari", 10);
            d.mag2 = real_arg(a, "realari", 11);
            d.star_vm = real_arg(a, "realari", 16);
            d.star_va_deg = real_arg(a, "realari", 17);
            d.name = text_arg(a, "namear");
            d.vector_group = text_arg(a, "vgrpar");
            if (!case_in_memory(name))
                return py::make_tuple(kNoCaseCode, py::cast(std::vector<double>(6, 0.0)));
            return transformer_result(
                name, set_three_winding_impedance_data(session().current_case(), session().case_index(), d));
        },
        "Creates the three-winding transformer, or changes the fields given of an existing one. "
        "Returns (ierr, realaro): R12, X12, R23, X23, R31, X31 in pu on the system base.");

    def_operation(
        m, "three_wnd_winding_data_5",
        {int_param("ibus"), int_param("jbus"), int_param("kbus"), text_param("ckt"), int_param("warg"),
         int_array("intgar", 6), real_array("realari", 10), real_array("ratings", kRatingCount)},
        [](const CallArguments& a) {
            constexpr const char* name = "three_wnd_winding_data_5";
            ThreeWindingWindingData d;
            d.bus_i = required_int(a, name, "ibus");
            d.bus_j = required_int(a, name, "jbus");
            d.bus_k = required_int(a, name, "kbus");
            d.ckt = text_arg(a, "ckt").value_or("1");
            d.winding = int_arg(a, "warg").value_or(1);
            d.data = winding_args(a, 1, 2, 3, 4, 6, 4);
            d.data.ratio = real_arg(a, "realari", 1);
            d.data.nominal_kv = real_arg(a, "realari", 2);
            d.data.angle_deg = real_arg(a, "realari", 3);
            if (!case_in_memory(name))
                return py::make_tuple(kNoCaseCode, py::cast(std::vector<double>(2, 0.0)));
            return transformer_result(
                name, set_three_winding_winding_data(session().current_case(), session().case_index(), d));
        },
        "Changes the fields given of one winding of an existing three-winding transformer. "
        "Returns (ierr, realaro): the winding's star-branch R and X in pu on the system base.");
}

// -------------------------------------------------------------- machines

MachineData machine_args(const CallArguments& a, const char* function) {
    MachineData d;
    d.bus = required_int(a, function, "ibus");
    d.id = text_arg(a, "id").value_or("1");
    d.status = int_arg(a, "intgar", 1);
    d.ownership = ownership_args(a, "intgar", 2, "realar", 13);
    d.wind_mode = int_arg(a, "intgar", 6);
    d.base_load = int_arg(a, "intgar", 7);
    d.pg = real_arg(a, "realar", 1);
    d.qg = real_arg(a, "realar", 2);
    d.qmax = real_arg(a, "realar", 3);
    d.qmin = real_arg(a, "realar", 4);
    d.pmax = real_arg(a, "realar", 5);
    d.pmin = real_arg(a, "realar", 6);
    d.mbase = real_arg(a, "realar", 7);
    d.zr = real_arg(a, "realar", 8);
    d.zx = real_arg(a, "realar", 9);
    d.rt = real_arg(a, "realar", 10);
    d.xt = real_arg(a, "realar", 11);
    d.gtap = real_arg(a, "realar", 12);
    d.wpf = real_arg(a, "realar", 17);
    d.name = text_arg(a, "namear", 2);
    return d;
}

// Releases differ in the fields the machine calls take: intgar7 (base
// load flag) from the third, the name (namear2) from the fourth.
std::vector<Param> machine_params(int release) {
    std::vector<Param> params = {int_param("ibus"), text_param("id"),
                                 int_array("intgar", release >= 3 ? 7 : 6), real_array("realar", 17)};
    if (release >= 4) params.push_back(text_array("namear", 2));
    return params;
}

void register_machines(py::module_& m) {
    def_operation(
        m, "plant_data_4",
        {int_param("ibus"), int_param("inode"), int_array("intgar", 2), real_array("realar", 2)},
        [](const CallArguments& a) {
            PlantData d;
            d.bus = required_int(a, "plant_data_4", "ibus");
            d.node = int_arg(a, "inode").value_or(0);
            d.regulated_bus = int_arg(a, "intgar", 1);
            d.regulated_node = int_arg(a, "intgar", 2);
            d.scheduled_voltage = real_arg(a, "realar", 1);
            d.rmpct = real_arg(a, "realar", 2);
            if (!case_in_memory("plant_data_4")) return kNoCaseCode;
            return finish("plant_data_4",
                          set_plant_data(session().current_case(), session().case_index(), d));
        },
        "Creates the plant at the bus, or changes the fields given of the existing one. Returns ierr.");

    static const char* const kData[] = {"machine_data_2", "machine_data_3", "machine_data_4",
                                        "machine_data_5"};
    static const char* const kChange[] = {"machine_chng_2", "machine_chng_3", "machine_chng_4",
                                          "machine_chng_5"};
    for (int release = 2; release <= 5; ++release) {
        const char* data_name = kData[release - 2];
        const char* change_name = kChange[release - 2];
        def_operation(
            m, data_name, machine_params(release),
            [data_name](const CallArguments& a) {
                const MachineData d = machine_args(a, data_name);
                if (!case_in_memory(data_name)) return kNoCaseCode;
                return finish(data_name,
                              set_machine_data(session().current_case(), session().case_index(), d));
            },
            "Creates the machine (its bus needs plant data), or changes the fields given of an existing one. "
            "Returns ierr.");
        def_operation(
            m, change_name, machine_params(release),
            [change_name](const CallArguments& a) {
                const MachineData d = machine_args(a, change_name);
                if (!case_in_memory(change_name)) return kNoCaseCode;
                return finish(change_name,
                              change_machine_data(session().current_case(), session().case_index(), d));
            },
            "Changes the fields given of an existing machine. Returns ierr.");
    }

    for (const char* name : {"induction_machine_data", "induction_machine_data_2"}) {
        std::vector<Param> params = {int_param("ibus"), text_param("id"), int_array("intgar", 9),
                                     real_array("realar", 23)};
        const bool named = std::string_view(name) == "induction_machine_data_2";
        if (named) params.push_back(text_param("indnamear"));
        def_operation(
            m, name, std::move(params),
            [name](const CallArguments& a) {
                InductionMachineData d;
                d.bus = required_int(a, name, "ibus");
                d.id = text_arg(a, "id").value_or("1");
                d.status = int_arg(a, "intgar", 1);
                d.scode = int_arg(a, "intgar", 2);
                d.dcode = int_arg(a, "intgar", 3);
                d.area = int_arg(a, "intgar", 4);
                d.zone = int_arg(a, "intgar", 5);
                d.owner = int_arg(a, "intgar", 6);
                d.tcode = int_arg(a, "intgar", 7);
                d.bcode = int_arg(a, "intgar", 8);
                d.pcode = int_arg(a, "intgar", 9);
                OptionalReal* reals[] = {&d.mbase, &d.ratekv, &d.pset, &d.h,   &d.a,     &d.b,
                                         &d.d,     &d.e,      &d.ra,   &d.xa,  &d.xm,    &d.r1,
                                         &d.x1,    &d.r2,     &d.x2,   &d.x3,  &d.e1,    &d.se1,
                                         &d.e2,    &d.se2,    &d.ia1,  &d.ia2, &d.xamult};
                for (int i = 0; i < 23; ++i) *reals[i] = real_arg(a, "realar", i + 1);
                d.name = text_arg(a, "indnamear");
                if (!case_in_memory(name)) return kNoCaseCode;
                return finish(
                    name, set_induction_machine_data(session().current_case(), session().case_index(), d));
            },
            "Creates the induction machine, or changes the fields given of an existing one. Returns ierr.");
    }
}

// ------------------------------------------------------ loads and shunts

void register_loads_and_shunts(py::module_& m) {
    for (const char* name : {"load_data_5", "load_data_6", "load_data_7"}) {
        std::vector<Param> params = {int_param("ibus"), text_param("id"), int_array("intgar", 7),
                                     real_array("realar", 8)};
        const std::string_view release(name);
        if (release != "load_data_5") params.push_back(text_param("lodtyp"));
        if (release == "load_data_7") params.push_back(text_param("ldname"));
        def_operation(
            m, name, std::move(params),
            [name](const CallArguments& a) {
                LoadData d;
                d.bus = required_int(a, name, "ibus");
                d.id = text_arg(a, "id").value_or("1");
                d.status = int_arg(a, "intgar", 1);
                d.area = int_arg(a, "intgar", 2);
                d.zone = int_arg(a, "intgar", 3);
                d.owner = int_arg(a, "intgar", 4);
                d.scalable = int_arg(a, "intgar", 5);
                d.interruptible = int_arg(a, "intgar", 6);
                d.distributed_generation_mode = int_arg(a, "intgar", 7);
                d.pl = real_arg(a, "realar", 1);
                d.ql = real_arg(a, "realar", 2);
                d.ip = real_arg(a, "realar", 3);
                d.iq = real_arg(a, "realar", 4);
                d.yp = real_arg(a, "realar", 5);
                d.yq = real_arg(a, "realar", 6);
                d.dg_p = real_arg(a, "realar", 7);
                d.dg_q = real_arg(a, "realar", 8);
                d.load_type = text_arg(a, "lodtyp");
                d.name = text_arg(a, "ldname");
                if (!case_in_memory(name)) return kNoCaseCode;
                return finish(name, set_load_data(session().current_case(), session().case_index(), d));
            },
            "Creates the load, or changes the fields given of an existing one. Returns ierr.");
    }

    for (const char* name : {"shunt_data", "shunt_data_2"}) {
        std::vector<Param> params = {int_param("ibus"), text_param("id"), int_array("intgar", 1),
                                     real_array("realar", 2)};
        if (std::string_view(name) == "shunt_data_2") params.push_back(text_param("name"));
        def_operation(
            m, name, std::move(params),
            [name](const CallArguments& a) {
                FixedShuntData d;
                d.bus = required_int(a, name, "ibus");
                d.id = text_arg(a, "id").value_or("1");
                d.status = int_arg(a, "intgar", 1);
                d.g_mw = real_arg(a, "realar", 1);
                d.b_mvar = real_arg(a, "realar", 2);
                d.name = text_arg(a, "name");
                if (!case_in_memory(name)) return kNoCaseCode;
                return finish(name,
                              set_fixed_shunt_data(session().current_case(), session().case_index(), d));
            },
            "Creates the fixed shunt, or changes the fields given of an existing one. Returns ierr.");
    }

    for (const char* name : {"switched_shunt_data_4", "switched_shunt_data_5", "switched_shunt_data_6"}) {
        const std::string_view release(name);
        // The first of these releases takes only block 1's status.
        std::vector<Param> params = {int_param("ibus"), text_param("id"),
                                     int_array("intgar", release == "switched_shunt_data_4" ? 14 : 21),
                                     real_array("realar", 12), text_param("rmidnt")};
        if (release == "switched_shunt_data_6") params.push_back(text_param("swsnam"));
        def_operation(
            m, name, std::move(params),
            [name](const CallArguments& a) {
                SwitchedShuntData d;
                d.bus = required_int(a, name, "ibus");
                d.id = text_arg(a, "id").value_or("1");
                for (int i = 0; i < kSwitchedShuntBlockCount; ++i) {
                    const auto block = static_cast<std::size_t>(i);
                    d.steps[block] = int_arg(a, "intgar", i + 1);
                    d.mvar_per_step[block] = real_arg(a, "realar", i + 1);
                    d.block_status[block] = int_arg(a, "intgar", 14 + i);
                }
                d.control_mode = int_arg(a, "intgar", 9);
                d.regulated_bus = int_arg(a, "intgar", 10);
                d.regulated_node = int_arg(a, "intgar", 11);
                d.status = int_arg(a, "intgar", 12);
                d.adjustment_method = int_arg(a, "intgar", 13);
                d.vswhi = real_arg(a, "realar", 9);
                d.vswlo = real_arg(a, "realar", 10);
                d.initial_mvar = real_arg(a, "realar", 11);
                d.rmpct = real_arg(a, "realar", 12);
                d.vsc_name = text_arg(a, "rmidnt");
                d.name = text_arg(a, "swsnam");
                if (!case_in_memory(name)) return kNoCaseCode;
                return finish(name,
                              set_switched_shunt_data(session().current_case(), session().case_index(), d));
            },
            "Creates the switched shunt, or changes the fields given of an existing one. Returns ierr.");
    }
}

}  // namespace

void register_element_operations(pybind11::module_& m) {
    register_buses(m);
    register_lines(m);
    register_transformers(m);
    register_machines(m);
    register_loads_and_shunts(m);
}

}  // namespace velquin::sim::python
