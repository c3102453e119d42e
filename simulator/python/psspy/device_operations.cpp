// Creating and changing DC lines, FACTS devices, areas, inter-area
// transfers and impedance correction tables. As for the other elements,
// each operation maps the simulator's argument positions onto the core's
// optional fields; what is not passed stays absent.
#include "api/session.hpp"
#include "common/operation_support.hpp"
#include "operations/area_operations.hpp"
#include "operations/dc_line_operations.hpp"
#include "operations/facts_operations.hpp"
#include "operations/impedance_correction_operations.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

Session& session() {
    return Session::instance();
}

// Runs `operation` on the case in memory and reports a refusal.
template <class Operation>
int on_case(const char* function, Operation operation) {
    if (!case_in_memory(function)) return kNoCaseCode;
    return finish(function, operation(session().current_case(), session().case_index()));
}

void register_two_terminal_dc_lines(py::module_& m) {
    def_operation(
        m, "two_terminal_dc_line_data",
        {text_param("name"), int_array("intgar", 4), real_array("realar", 8), text_param("meter")},
        [](const CallArguments& a) {
            constexpr const char* name = "two_terminal_dc_line_data";
            TwoTerminalDcLineData d;
            d.name = required_text(a, name, "name");
            d.control_mode = int_arg(a, "intgar", 1);
            d.rectifier_bus = int_arg(a, "intgar", 2);
            d.inverter_bus = int_arg(a, "intgar", 3);
            d.ccc_iteration_limit = int_arg(a, "intgar", 4);
            d.setpoint = real_arg(a, "realar", 1);
            d.scheduled_kv = real_arg(a, "realar", 2);
            d.mode_switch_kv = real_arg(a, "realar", 3);
            d.compounding_resistance = real_arg(a, "realar", 4);
            d.current_margin = real_arg(a, "realar", 5);
            d.resistance = real_arg(a, "realar", 6);
            d.min_compounded_kv = real_arg(a, "realar", 7);
            d.ccc_acceleration = real_arg(a, "realar", 8);
            d.metered_end = text_arg(a, "meter");
            return on_case(name,
                           [&](Case& c, CaseIndex& i) { return set_two_terminal_dc_line_data(c, i, d); });
        },
        "Creates the two-terminal DC line (its rectifier and inverter buses are needed), or changes the "
        "fields given of an existing one. Returns ierr.");
    def_operation(
        m, "two_term_dc_convr_data",
        {text_param("name"), int_param("ic"), int_array("intgar", 6), real_array("realar", 11),
         text_param("idnam")},
        [](const CallArguments& a) {
            constexpr const char* name = "two_term_dc_convr_data";
            TwoTerminalDcConverterData d;
            d.line_name = required_text(a, name, "name");
            d.end = required_int(a, name, "ic");
            d.bus = int_arg(a, "intgar", 1);
            d.bridges = int_arg(a, "intgar", 2);
            d.firing_angle_bus = int_arg(a, "intgar", 3);
            d.tap_control_from_bus = int_arg(a, "intgar", 4);
            d.tap_control_to_bus = int_arg(a, "intgar", 5);
            d.firing_angle_node = int_arg(a, "intgar", 6);
            d.max_angle_deg = real_arg(a, "realar", 1);
            d.min_angle_deg = real_arg(a, "realar", 2);
            d.commutating_resistance = real_arg(a, "realar", 3);
            d.commutating_reactance = real_arg(a, "realar", 4);
            d.base_kv = real_arg(a, "realar", 5);
            d.transformer_ratio = real_arg(a, "realar", 6);
            d.tap = real_arg(a, "realar", 7);
            d.tap_max = real_arg(a, "realar", 8);
            d.tap_min = real_arg(a, "realar", 9);
            d.tap_step = real_arg(a, "realar", 10);
            d.capacitor_reactance = real_arg(a, "realar", 11);
            d.tap_control_ckt = text_arg(a, "idnam");
            return on_case(
                name, [&](Case& c, CaseIndex& i) { return set_two_terminal_dc_converter_data(c, i, d); });
        },
        "Changes the fields given of the rectifier (ic 0) or inverter (ic 1) of an existing two-terminal "
        "DC line. Returns ierr.");
}

void register_vsc_dc_lines(py::module_& m) {
    def_operation(
        m, "vsc_dc_line_data", {text_param("name"), int_array("intgar", 5), real_array("realar", 5)},
        [](const CallArguments& a) {
            constexpr const char* name = "vsc_dc_line_data";
            VscDcLineData d;
            d.name = required_text(a, name, "name");
            d.status = int_arg(a, "intgar", 1);
            d.ownership = ownership_args(a, "intgar", 2, "realar", 2);
            d.resistance = real_arg(a, "realar", 1);
            return on_case(name, [&](Case& c, CaseIndex& i) { return set_vsc_dc_line_data(c, i, d); });
        },
        "Creates the VSC DC line, or changes the fields given of an existing one; its converters are "
        "given with vsc_dc_converter_data. Returns ierr.");
    def_operation(
        m, "vsc_dc_converter_data",
        {text_param("name"), int_param("ic"), int_array("intgar", 5), real_array("realar", 11)},
        [](const CallArguments& a) {
            constexpr const char* name = "vsc_dc_converter_data";
            VscConverterData d;
            d.line_name = required_text(a, name, "name");
            d.converter = required_int(a, name, "ic");
            d.bus = int_arg(a, "intgar", 1);
            d.dc_control = int_arg(a, "intgar", 2);
            d.ac_control = int_arg(a, "intgar", 3);
            d.regulated_bus = int_arg(a, "intgar", 4);
            d.regulated_node = int_arg(a, "intgar", 5);
            OptionalReal* reals[] = {&d.dc_setpoint, &d.ac_setpoint, &d.loss_a,         &d.loss_b,
                                     &d.min_loss,    &d.mva_rating,  &d.current_rating, &d.power_weighting,
                                     &d.qmax,        &d.qmin,        &d.rmpct};
            for (int i = 0; i < 11; ++i) *reals[i] = real_arg(a, "realar", i + 1);
            return on_case(name, [&](Case& c, CaseIndex& i) { return set_vsc_converter_data(c, i, d); });
        },
        "Changes the fields given of converter 1 or 2 (ic) of an existing VSC DC line. Returns ierr.");
}

void register_facts_devices(py::module_& m) {
    for (const char* name : {"facts_data", "facts_data_2"}) {
        const bool with_node = std::string_view(name) == "facts_data_2";
        def_operation(
            m, name,
            {text_param("name"), int_array("intgar", with_node ? 7 : 6), real_array("realar", 13),
             text_param("mname")},
            [name](const CallArguments& a) {
                FactsDeviceData d;
                d.name = required_text(a, name, "name");
                d.sending_bus = int_arg(a, "intgar", 1);
                d.terminal_bus = int_arg(a, "intgar", 2);
                d.mode = int_arg(a, "intgar", 3);
                d.owner = int_arg(a, "intgar", 4);
                d.series_voltage_reference = int_arg(a, "intgar", 5);
                d.regulated_bus = int_arg(a, "intgar", 6);
                d.regulated_node = int_arg(a, "intgar", 7);
                OptionalReal* reals[] = {&d.p_desired,
                                         &d.q_desired,
                                         &d.voltage_setpoint,
                                         &d.shunt_max,
                                         &d.bridge_max,
                                         &d.terminal_vmin,
                                         &d.terminal_vmax,
                                         &d.series_vmax,
                                         &d.series_imax,
                                         &d.dummy_reactance,
                                         &d.rmpct,
                                         &d.set1,
                                         &d.set2};
                for (int i = 0; i < 13; ++i) *reals[i] = real_arg(a, "realar", i + 1);
                d.master_name = text_arg(a, "mname");
                return on_case(name, [&](Case& c, CaseIndex& i) { return set_facts_device_data(c, i, d); });
            },
            "Creates the FACTS device (its sending bus is needed), or changes the fields given of an "
            "existing one. Returns ierr.");
    }
}

void register_areas(py::module_& m) {
    def_operation(
        m, "area_data",
        {int_param("iar"), int_array("intgar", 1), real_array("realar", 2), text_param("arname")},
        [](const CallArguments& a) {
            constexpr const char* name = "area_data";
            AreaData d;
            d.number = required_int(a, name, "iar");
            d.swing_bus = int_arg(a, "intgar", 1);
            d.desired_mw = real_arg(a, "realar", 1);
            d.tolerance_mw = real_arg(a, "realar", 2);
            d.name = text_arg(a, "arname");
            return on_case(name, [&](Case& c, CaseIndex& i) { return set_area_data(c, i, d); });
        },
        "Creates the area, or changes the fields given of an existing one. Returns ierr.");
    def_operation(
        m, "transfer_data",
        {int_param("iarfrm"), int_param("iarto"), text_param("trid"), real_array("realar", 1)},
        [](const CallArguments& a) {
            constexpr const char* name = "transfer_data";
            InterAreaTransferData d;
            d.from_area = required_int(a, name, "iarfrm");
            d.to_area = required_int(a, name, "iarto");
            d.id = text_arg(a, "trid").value_or("1");
            d.mw = real_arg(a, "realar", 1);
            return on_case(name,
                           [&](Case& c, CaseIndex& i) { return set_inter_area_transfer_data(c, i, d); });
        },
        "Creates the inter-area transfer, or changes its MW. Returns ierr.");
}

void register_impedance_correction(py::module_& m) {
    constexpr int kRealPoints = 11;
    def_operation(
        m, "impedance_correction_data", {int_param("i"), real_array("realar", 2 * kRealPoints)},
        [](const CallArguments& a) {
            constexpr const char* name = "impedance_correction_data";
            ImpedanceCorrectionData d;
            d.number = required_int(a, name, "i");
            d.points.resize(kRealPoints);
            for (int k = 0; k < kRealPoints; ++k) {
                auto& p = d.points[static_cast<std::size_t>(k)];
                p.t = real_arg(a, "realar", 2 * k + 1);
                p.factor_re = real_arg(a, "realar", 2 * k + 2);
                // A real factor: a point given whole is real.
                if (p.t && p.factor_re) p.factor_im = 0.0;
            }
            return on_case(name,
                           [&](Case& c, CaseIndex& i) { return set_impedance_correction_data(c, i, d); });
        },
        "Creates the impedance correction table, or changes the points given: realar holds T1, F1, ..., "
        "T11, F11 (real factors). Returns ierr.");
    def_operation(
        m, "impedance_correction_data_3",
        {int_param("i"), real_array("t", kMaxCorrectionPoints), real_array("fre", kMaxCorrectionPoints),
         real_array("fim", kMaxCorrectionPoints)},
        [](const CallArguments& a) {
            constexpr const char* name = "impedance_correction_data_3";
            ImpedanceCorrectionData d;
            d.number = required_int(a, name, "i");
            d.points.resize(kMaxCorrectionPoints);
            for (int k = 0; k < kMaxCorrectionPoints; ++k) {
                auto& p = d.points[static_cast<std::size_t>(k)];
                p.t = real_arg(a, "t", k + 1);
                p.factor_re = real_arg(a, "fre", k + 1);
                p.factor_im = real_arg(a, "fim", k + 1);
            }
            return on_case(name,
                           [&](Case& c, CaseIndex& i) { return set_impedance_correction_data(c, i, d); });
        },
        "Creates the impedance correction table, or changes the points given: point k is t[k], "
        "fre[k] + j fim[k]. Returns ierr.");
}

}  // namespace

void register_device_operations(pybind11::module_& m) {
    register_two_terminal_dc_lines(m);
    register_vsc_dc_lines(m);
    register_facts_devices(m);
    register_areas(m);
    register_impedance_correction(m);
}

}  // namespace velquin::sim::python
