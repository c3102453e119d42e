// Start-up, progress output, and opening, saving, creating and closing the
// case in memory.
#include <exception>
#include <filesystem>

#include "api/session.hpp"
#include "casefile/case_file.hpp"
#include "common/operation_support.hpp"
#include "operations/case_operations.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

namespace fs = std::filesystem;

Session& session() {
    return Session::instance();
}

constexpr int kDefaultBusCapacity = 150000;

// Output selectors of progress_output.
constexpr int kToStandardOutput = 1;
constexpr int kToFile = 2;
constexpr int kToNowhere = 6;

int psseinit(const CallArguments& a) {
    const int buses = int_arg(a, "buses").value_or(kDefaultBusCapacity);
    if (buses < 1)
        return report_refusal("psseinit", 1, "bus capacity " + std::to_string(buses) + " must be positive");
    session().close_case();
    session().mark_initialized(buses);
    return 0;
}

int progress_output(const CallArguments& a) {
    constexpr const char* name = "progress_output";
    const int selector = int_arg(a, "islct").value_or(kToStandardOutput);
    const int append = int_arg(a, "options", 1).value_or(0);
    if (append != 0 && append != 1) {
        return report_refusal(
            name, 4, "options1 " + std::to_string(append) + " is neither 0 (overwrite) nor 1 (append)");
    }
    ProgressOutput& out = session().progress();
    switch (selector) {
        case kToStandardOutput:
            out.to_standard_output();
            return 0;
        case kToNowhere:
            out.to_nowhere();
            return 0;
        case kToFile: {
            const auto file = text_arg(a, "filarg");
            if (!file || file->empty())
                return report_refusal(name, 3, "output to a file needs the file name (filarg)");
            if (!out.to_file(*file, append == 1))
                return report_refusal(name, 2, "cannot open '" + *file + "' for writing");
            return 0;
        }
        default:
            return report_refusal(name, 1,
                                  "output selector " + std::to_string(selector) +
                                      " is not 1 (standard output), 2 (file) or 6 (none)");
    }
}

int lines_per_page_one_device(const CallArguments& a) {
    const int device = int_arg(a, "device").value_or(kToStandardOutput);
    const int lines = int_arg(a, "lines").value_or(60);
    if (device < 1 || device > 4) {
        return report_refusal("lines_per_page_one_device", 1,
                              "device " + std::to_string(device) + " is outside 1..4");
    }
    if (!session().set_lines_per_page(device, lines)) {
        return report_refusal("lines_per_page_one_device", 2,
                              "page length " + std::to_string(lines) + " must be positive");
    }
    return 0;
}

int open_case(const CallArguments& a) {
    const auto name = text_arg(a, "sfile");
    if (!name || name->empty()) return report_refusal("case", 1, "no saved-case file name given");
    const fs::path path = saved_case_path(*name);
    std::error_code ec;
    if (!fs::exists(path, ec)) return report_refusal("case", 2, "'" + path.string() + "' does not exist");
    try {
        Case c = load_case_file(path);
        session().replace_case(std::move(c));
    } catch (const std::exception& e) {
        return report_refusal("case", 3, e.what());
    }
    session().report("Case '" + path.string() + "' opened");
    return 0;
}

int save_case(const CallArguments& a) {
    const auto name = text_arg(a, "sfile");
    if (!name || name->empty()) return report_refusal("save", 1, "no saved-case file name given");
    if (!case_in_memory("save")) return kNoCaseCode;
    const fs::path path = saved_case_path(*name);
    try {
        save_case_file(session().current_case(), path);
    } catch (const std::exception& e) {
        return report_refusal("save", 2, e.what());
    }
    session().report("Case saved in '" + path.string() + "'");
    return 0;
}

int new_case(const CallArguments& a) {
    NewCaseData d;
    d.transformer_rating_units = int_arg(a, "options", 1);
    d.branch_rating_units = int_arg(a, "options", 2);
    d.base_mva = real_arg(a, "basemva");
    d.base_frequency = real_arg(a, "basefreq");
    d.title1 = text_arg(a, "titl1");
    d.title2 = text_arg(a, "titl2");
    Case fresh;
    const OperationResult result = make_new_case(d, fresh);
    if (!result.ok()) return finish("newcase_2", result);
    session().replace_case(std::move(fresh));
    return 0;
}

}  // namespace

void register_session_operations(pybind11::module_& m) {
    def_operation(m, "psseinit", {int_param("buses")}, psseinit,
                  "Starts the simulator for up to `buses` buses (default 150000) and clears the case in "
                  "memory. Returns ierr.");
    def_operation(m, "progress_output", {int_param("islct"), text_param("filarg"), int_array("options", 2)},
                  progress_output,
                  "Directs progress text: islct 1 standard output, 2 the file filarg (options1 1 appends), "
                  "6 nowhere. Returns ierr.");
    def_operation(m, "lines_per_page_one_device", {int_param("device"), int_param("lines")},
                  lines_per_page_one_device, "Sets the page length of output device 1 to 4. Returns ierr.");
    def_operation(
        m, "case", {text_param("sfile")}, open_case,
        "Opens a saved case (\".sav\" added to a name without extension) into memory. Returns ierr.");
    def_operation(m, "save", {text_param("sfile")}, save_case,
                  "Saves the case in memory (\".sav\" added to a name without extension). Returns ierr.");
    def_operation(m, "newcase_2",
                  {int_array("options", 2), real_param("basemva"), real_param("basefreq"),
                   text_param("titl1"), text_param("titl2")},
                  new_case, "Replaces the case in memory by an empty one. Returns ierr.");
    def_operation(
        m, "close_powerflow", {},
        [](const CallArguments&) {
            session().close_case();
            return 0;
        },
        "Removes the case from memory. Returns ierr.");
    def_operation(
        m, "deltmpfiles", {}, [](const CallArguments&) { return 0; },
        "Deletes the simulator's temporary files. The embedded simulator leaves none behind (a save "
        "removes its own temporary file on failure), so there is nothing to delete. Returns ierr.");
    m.def(
        "started_release", [] { return session().started_release(); },
        "The release whose start-up module was imported (\"34\", \"35.5\", \"36.1\", \"36.2\"), or an "
        "empty text when none was.");
}

}  // namespace velquin::sim::python
