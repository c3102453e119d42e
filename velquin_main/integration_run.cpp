#include "integration_run.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "bus_numbers_in_use.hpp"
#include "case_names.hpp"
#include "main_case_selection.hpp"
#include "path_resolution.hpp"
#include "python_support.hpp"
#include "renumber_map_files.hpp"
#include "run_observer.hpp"
#include "run_settings.hpp"
#include "solve_watch.hpp"

namespace velquin::main {

namespace {

using Clock = std::chrono::steady_clock;

// The element transfers, in the order the elements are copied.
constexpr const char* kTransfers[] = {
    "add_buses",       "add_line_branch",    "add_trn_branch", "add_gen",
    "add_fixed_shunt", "add_switched_shunt", "add_load",       "add_induction_machine",
};

// The status report's section title of each transfer, in the same order.
constexpr const char* kStatusSections[] = {
    "Bus_Status",       "Line_Branch_Status",       "Transformer_Branch_Status",
    "Generator_Status", "Fixed_Shunt_Status",       "Switched_Shunt_Status",
    "Load_Status",      "Induction_Machine_Status",
};

// `a, b = value`, with the host's errors for any other number of items.
std::pair<py::object, py::object> unpack_pair(const py::object& value) {
    py::object iterator = py::reinterpret_steal<py::object>(PyObject_GetIter(value.ptr()));
    if (!iterator) {
        PyErr_Clear();
        raise(PyExc_TypeError,
              std::string("cannot unpack non-iterable ") + Py_TYPE(value.ptr())->tp_name + " object");
    }
    py::object items[2];
    for (int i = 0; i < 2; ++i) {
        items[i] = py::reinterpret_steal<py::object>(PyIter_Next(iterator.ptr()));
        if (!items[i]) {
            if (PyErr_Occurred() != nullptr) throw py::error_already_set();
            raise(PyExc_ValueError,
                  "not enough values to unpack (expected 2, got " + std::to_string(i) + ")");
        }
    }
    py::object extra = py::reinterpret_steal<py::object>(PyIter_Next(iterator.ptr()));
    if (extra) raise(PyExc_ValueError, "too many values to unpack (expected 2)");
    if (PyErr_Occurred() != nullptr) throw py::error_already_set();
    return {items[0], items[1]};
}

// A path from the workbook: text is resolved against the file system's
// letter case; anything else is passed on for the callee to judge.
py::object workbook_path(const py::object& value) {
    if (PyUnicode_Check(value.ptr()) || py::hasattr(value, "__fspath__")) return resolve_path(value);
    return value;
}

struct MainCase {
    py::str name;
    py::object path;
    BusNumbersInUse buses_in_use;
    bool psse_initialized = false;
};

class IntegrationRun {
public:
    IntegrationRun(const py::module_& module, const py::object& observer)
        : module_(module), observer_(observer) {}

    void run(const py::object& file_path, const py::object& file_name,
             const py::object& selected_main_cases) {
        const py::object readfile = global("ReadConfigFile")(file_path, file_name);
        const py::object softdata = readfile.attr("get_soft_config_indexed_dict")();
        const py::object maindata = readfile.attr("get_main_config_indexed_dict")();
        const py::object casedata = readfile.attr("get_case_config_indexed_dict")();

        const SoftwareSettings settings = read_software_settings(softdata);
        const py::dict main_cases = main_case_table(maindata);
        small_cases_ = small_case_table(casedata);
        const MainCaseSelection selection(selected_main_cases, py::len(main_cases));

        if (!settings.psse_path) unbound("psse_path");
        if (!settings.version) unbound("psse_version");
        nbus_ = settings.nbus;
        psseng_ = global("PSSE_ENGINE")(py::arg("psse_path") = workbook_path(*settings.psse_path),
                                        py::arg("version") = *settings.version);
        if (observer_.active()) observer_.notify("run_started", run_plan(main_cases));

        std::size_t position = 0;
        for (const auto& [key, entry] : main_cases) {
            if (!selection.contains(position++)) continue;
            run_main_case(py::reinterpret_borrow<py::object>(key), py::reinterpret_borrow<py::object>(entry));
        }
    }

private:
    py::object global(const char* name) const { return module_.attr(name); }

    // What the whole run would handle, for the observer: the enabled rows
    // of both tables, and each small case's result folder as the run will
    // resolve it.
    py::dict run_plan(const py::dict& main_cases) const {
        py::list result_folders;
        for (const auto& [key, entry] : small_cases_) {
            result_folders.append(workbook_path(py::reinterpret_borrow<py::object>(entry)["parent_path"]));
        }
        return py::dict(py::arg("main_cases") = py::list(main_cases.attr("values")()),
                        py::arg("small_cases") = py::list(small_cases_.attr("values")()),
                        py::arg("result_folders") = result_folders);
    }

    [[noreturn]] static void unbound(const char* description) {
        raise(PyExc_UnboundLocalError, std::string("the software sheet has no '") + description +
                                           "' row under 'attribute description'");
    }

    void run_main_case(const py::object& key, const py::object& entry) {
        const std::string where = "main case " + text(key);
        const py::str name = case_name(required_cell(entry["filename"], where, "snapshot filename"));
        const py::object path =
            workbook_path(case_path(required_cell(entry["filepath"], where, "snapshot filepath"), name));

        const auto start = Clock::now();
        const py::object mc = psseng_.attr("get_case_data")(path);
        const py::object mcbus = mc.attr("pssbus");
        observer_.notify("main_case_read", py::dict(py::arg("main_case") = name, py::arg("path") = path,
                                                    py::arg("seconds") = seconds_since(start)));

        MainCase main_case{name, path, BusNumbersInUse(mcbus)};
        std::size_t jjj = 0;
        for (const auto& [small_key, small_entry] : small_cases_) {
            run_small_case(main_case, py::reinterpret_borrow<py::object>(small_key),
                           py::reinterpret_borrow<py::object>(small_entry), jjj++);
        }
    }

    void run_small_case(MainCase& main_case, const py::object& key, const py::object& entry,
                        std::size_t jjj) {
        const auto start = Clock::now();
        StageTimes stages;
        const std::string where = "small case " + text(key);
        const py::str& M = main_case.name;
        const py::str S = case_name(required_cell(entry["filename"], where, "name of case to be added"));
        const py::object small_case_path = workbook_path(
            case_path(required_cell(entry["filepath"], where, "filepath of case to be added"), S));

        py::print(std::string(59, '*'));
        py::print(join_text({py::str("Processing "), M, py::str(" with "), S}));
        py::print(small_case_path);
        observer_.notify("pair_started", py::dict(py::arg("main_case") = M, py::arg("small_case") = S,
                                                  py::arg("small_case_path") = small_case_path));

        const py::object connecting_bus =
            connecting_bus_number(entry["connecting_bus"], "small case '" + text(S) + "'");
        const py::object parent_path = required_cell(entry["parent_path"], where, "parent_path");
        if (!main_case.buses_in_use.contains(connecting_bus)) {
            // Nothing of the small case could be brought back from a bus the
            // main case does not have: its buses would stay out of service
            // while the solve reported success.
            raise(PyExc_ValueError, "small case '" + text(S) + "': the connecting bus " +
                                        text(connecting_bus) + " is not a bus of main case '" + text(M) +
                                        "'");
        }

        py::object small_case =
            stages.time("read", [&] { return psseng_.attr("get_case_data")(small_case_path); });

        py::object renumber_map;
        stages.time("renumber", [&] {
            small_case.attr("pssbus") =
                global("exclude_connecting_bus")(small_case, small_case.attr("pssbus"), connecting_bus);
            const py::object scbus = small_case.attr("pssbus");
            small_case.attr("pssbus") = global("remove_internal_psse_buses")(scbus, scbus);
            auto [renumbered, map] = unpack_pair(global("renumber_buses")(
                small_case, small_case.attr("pssbus"), main_case.buses_in_use.table(), connecting_bus));
            small_case = renumbered;
            renumber_map = map;
        });

        const py::object directory = stages.time("maps", [&] {
            py::object folder = make_folder(path_join(path_join(parent_path, S), M));
            write_renumber_map_text(path_join(folder, join_text({M, py::str("_renumber_map.txt")})),
                                    renumber_map);
            write_renumber_map_json(path_join(folder, join_text({M, py::str("_renumber_map.json")})),
                                    renumber_map);
            return folder;
        });

        stages.time("start", [&] {
            if (jjj == 0) {
                if (!nbus_) unbound("psse_init");
                psseng_.attr("init_psse")(py::arg("buses") = py::int_(*nbus_));
                main_case.psse_initialized = true;
                psseng_.attr("open_case")(py::arg("sfile") = main_case.path);
            }
        });
        if (!main_case.psse_initialized) return;

        stages.time("start", [&] {
            psseng_.attr("create_progress_output")(
                py::arg("islct") = 2, py::arg("filarg") = path_join(directory, py::str("progress.txt")));
        });

        py::dict statuses;
        stages.time("copy", [&] {
            for (std::size_t i = 0; i < std::size(kTransfers); ++i) {
                statuses[py::str(kStatusSections[i])] =
                    psseng_.attr(kTransfers[i])(small_case, M, S, directory);
            }
        });
        const py::object small_bus_numbers = small_case.attr("pssbus")[py::str("NUM")];
        main_case.buses_in_use.add(small_bus_numbers);

        stages.time("saves", [&] { save(path_join(directory, join_text({M, py::str("_added_"), S}))); });
        stages.time("report", [&] {
            global("write_status_report")(
                path_join(directory, join_text({M, py::str("_status_"), S, py::str(".txt")})), **statuses);
        });

        py::object ordered;
        stages.time("discover", [&] {
            py::list scbus_numbers;
            scbus_numbers.append(connecting_bus);
            for (const auto& number : small_bus_numbers) scbus_numbers.append(number);
            auto [jkckt_list, jklckt_list] = unpack_pair(global("find_buses")(scbus_numbers, psseng_));
            const py::object all_connections =
                global("organize_connections")(connecting_bus, jkckt_list, jklckt_list);
            ordered = global("enforce_topological_order")(all_connections, connecting_bus);
        });

        stages.time("disconnect", [&] { psseng_.attr("disconnect_buses")(py::list(small_bus_numbers)); });
        stages.time("saves", [&] {
            save(path_join(directory, join_text({M, py::str("_oos_"), S, py::str(".sav")})));
        });
        stages.time("first solve", [&] {
            psseng_.attr("run_load_flow_rsol")(py::arg("options1") = 1, py::arg("options2") = 2,
                                               py::arg("options7") = 2, py::arg("options9") = 1,
                                               py::arg("options10") = 0);
            psseng_.attr("check_solved")();
        });
        stages.time("saves", [&] {
            save(path_join(directory, join_text({M, py::str("_solved_"), S, py::str("_0.sav")})));
        });

        const py::object sav_file_name = path_join(directory, join_text({M, py::str("_solved_"), S}));
        py::object solve_engine = psseng_;
        if (observer_.active()) {
            const py::dict solve_facts(py::arg("main_case") = M, py::arg("small_case") = S,
                                       py::arg("connections") = py::len(ordered));
            observer_.notify("network_solve_started", solve_facts);
            solve_engine = py::cast(SolveWatch(psseng_, py::str(sav_file_name), observer_, solve_facts));
        }
        const py::object ival_lf = stages.time("network solve", [&] {
            return global("solve_the_network")(solve_engine, sav_file_name, ordered);
        });
        stages.time("modify generators", [&] { psseng_.attr("modify_gen")(small_case, M, S, directory); });

        const bool solved = !truthy(ival_lf);
        py::object final_case = py::none();
        stages.time("close", [&] {
            if (solved && jjj + 1 == py::len(small_cases_)) {
                final_case = path_join(resolve_path(parent_path), join_text({M, py::str("_solved_.sav")}));
                save(final_case);
                psseng_.attr("close_power_flow")();
                psseng_.attr("del_tmp_files")();
            }
            psseng_.attr("create_progress_output")(py::arg("islct") = 6);
        });

        if (observer_.active()) {
            observer_.notify(
                "pair_finished",
                py::dict(py::arg("main_case") = M, py::arg("small_case") = S, py::arg("folder") = directory,
                         py::arg("buses") = py::len(small_bus_numbers),
                         py::arg("renumbered") = py::len(renumber_map),
                         py::arg("connections") = py::len(ordered),
                         py::arg("reconnected") = solve_engine.cast<SolveWatch&>().numbered_saves(),
                         py::arg("ival_lf") = ival_lf, py::arg("converged") = solved,
                         py::arg("final_case") = final_case, py::arg("seconds") = seconds_since(start),
                         py::arg("stages") = stages.as_dict()));
        }
    }

    void save(const py::object& path) const { psseng_.attr("save_case")(py::arg("sfile") = path); }

    py::module_ module_;
    RunObserver observer_;
    py::dict small_cases_;
    py::object psseng_;
    std::optional<py::object> nbus_;
};

}  // namespace

void run_integration(const py::module_& module, const py::object& file_path, const py::object& file_name,
                     const py::object& observer, const py::object& main_cases) {
    IntegrationRun(module, observer).run(file_path, file_name, main_cases);
}

}  // namespace velquin::main
