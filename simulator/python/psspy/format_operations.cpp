// Reading RAW and MATPOWER files into memory and writing the case in
// memory as RAW. A file is parsed into a fresh case that replaces the case
// in memory only when the whole file was read; a failure leaves memory as
// it was and writes one line to the progress output.
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "api/session.hpp"
#include "common/call_arguments.hpp"
#include "formats/case_summary.hpp"
#include "formats/matpower_format.hpp"
#include "formats/raw_format.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

namespace fs = std::filesystem;

// Return codes of the format operations.
constexpr int kDone = 0;
constexpr int kBadOption = 1;    // numnam, sid, all, out or status not supported
constexpr int kBadRevision = 2;  // vernum is not 33, 34 or 35
constexpr int kBadFile = 3;      // no file name, or the file cannot be opened or written
constexpr int kBadData = 4;      // the file is malformed (input) or the case cannot be written (output)
constexpr int kNoCase = 5;       // nothing in memory to write

ProgressOutput& progress() {
    return Session::instance().progress();
}

int refuse(const char* function, int code, const std::string& message) {
    progress().write_line(std::string(function) + ": " + message);
    return code;
}

void report_warnings(const ImportReport& report) {
    for (const auto& w : report.warnings) progress().write_line("warning: " + w);
}

// "33", "34" or "35"; nothing for anything else.
std::optional<int> revision_number(const std::string& text) {
    if (text == "33" || text == "34" || text == "35") return std::stoi(text);
    return std::nullopt;
}

// The RAW revision of the simulator release that was started: 34 for
// release 34, 35 for later releases and when none was started.
int current_revision() {
    const std::string& release = Session::instance().started_release();
    return release.rfind("34", 0) == 0 ? 34 : 35;
}

std::optional<std::string> input_file(const char* function, const CallArguments& a) {
    const auto file = a.text("ifile");
    if (!file || file->empty()) {
        refuse(function, kBadFile, "no input file name given (ifile)");
        return std::nullopt;
    }
    std::error_code ec;
    if (!fs::is_regular_file(*file, ec)) {
        refuse(function, kBadFile, "'" + *file + "' is not a readable file");
        return std::nullopt;
    }
    return file;
}

template <typename Reader>
int load_into_memory(const char* function, const std::string& file, const char* what, Reader&& reader) {
    ImportReport report;
    try {
        Case c = reader(file, &report);
        const std::string summary = describe_element_counts(c);
        Session::instance().replace_case(std::move(c));
        report_warnings(report);
        progress().write_line(std::string(what) + " '" + file + "' read: " + summary);
        return kDone;
    } catch (const FormatError& e) {
        return refuse(function, kBadData, e.what());
    } catch (const std::exception& e) {
        return refuse(function, kBadFile, e.what());
    }
}

int read_raw(const char* function, const CallArguments& a, std::optional<int> revision) {
    const long long numnam = a.integer_or("numnam", 0);
    if (numnam != 0) return refuse(function, kBadOption, "only bus numbers are supported (numnam 0)");
    const auto file = input_file(function, a);
    if (!file) return kBadFile;
    return load_into_memory(function, *file, "RAW file", [&](const std::string& path, ImportReport* report) {
        return revision ? read_raw_file_as(path, *revision, report) : read_raw_file(path, report);
    });
}

int write_raw(const char* function, int revision, const std::string& file) {
    Session& session = Session::instance();
    if (!session.has_case()) return refuse(function, kNoCase, "no case in memory");
    ImportReport report;
    try {
        if (file.empty())
            progress().write(format_raw(session.current_case(), revision, &report));
        else
            write_raw_file(session.current_case(), file, revision, &report);
    } catch (const std::invalid_argument& e) {
        return refuse(function, kBadData, e.what());
    } catch (const std::exception& e) {
        return refuse(function, kBadFile, e.what());
    }
    report_warnings(report);
    if (!file.empty())
        progress().write_line("Case written to '" + file + "' as RAW revision " + std::to_string(revision));
    return kDone;
}

template <class Body>
void def_operation(pybind11::module_& m, const char* name, std::vector<Param> params, Body body,
                   const char* doc) {
    m.def(
        name,
        [name, params = std::move(params), body](const py::args& args, const py::kwargs& kwargs) {
            CallArguments a(name, params, args, kwargs);
            return body(a);
        },
        doc);
}

}  // namespace

void register_format_operations(pybind11::module_& m) {
    const Param numnam{"numnam", ParamKind::Integer};
    const Param ifile{"ifile", ParamKind::Text};
    const Param vernum{"vernum", ParamKind::Text};
    const Param ofile{"ofile", ParamKind::Text};

    def_operation(
        m, "read", {numnam, ifile}, [](const CallArguments& a) { return read_raw("read", a, std::nullopt); },
        "read(numnam, ifile)\n\nReads the RAW file ifile (revision 33, 34 or 35, from its case line) into "
        "memory, replacing the case there. numnam must be 0 (buses by number). Returns 0, or 1 bad numnam, "
        "3 file missing, 4 malformed file (the case in memory is then unchanged).");
    def_operation(
        m, "readrawversion", {numnam, vernum, ifile},
        [](const CallArguments& a) {
            const auto revision = revision_number(a.text("vernum").value_or(""));
            if (!revision) return refuse("readrawversion", kBadRevision, "vernum must be '33', '34' or '35'");
            return read_raw("readrawversion", a, revision);
        },
        "readrawversion(numnam, vernum, ifile)\n\nAs read, but reads the file as RAW revision vernum ('33', "
        "'34' or '35'). Returns 0, or 1 bad numnam, 2 bad vernum, 3 file missing, 4 malformed file.");
    def_operation(
        m, "read_matpower", {ifile},
        [](const CallArguments& a) {
            const auto file = input_file("read_matpower", a);
            if (!file) return kBadFile;
            return load_into_memory("read_matpower", *file, "MATPOWER file",
                                    [](const std::string& path, ImportReport* report) {
                                        return read_matpower_file(path, report);
                                    });
        },
        "read_matpower(ifile)\n\nReads the MATPOWER case file ifile (.m) into memory, replacing the case "
        "there. Returns 0, or 3 file missing, 4 malformed file.");
    def_operation(
        m, "writerawversion", {vernum, ofile},
        [](const CallArguments& a) {
            const auto revision = revision_number(a.text("vernum").value_or(""));
            if (!revision)
                return refuse("writerawversion", kBadRevision, "vernum must be '33', '34' or '35'");
            const auto file = a.text("ofile");
            if (!file || file->empty())
                return refuse("writerawversion", kBadFile, "no output file name given (ofile)");
            return write_raw("writerawversion", *revision, *file);
        },
        "writerawversion(vernum, ofile)\n\nWrites the case in memory to ofile as RAW revision vernum ('33', "
        "'34' or '35'). Returns 0, or 2 bad vernum, 3 no file name or the file cannot be written, 4 the case "
        "holds what that revision cannot (such as two switched shunts at a bus before 35), 5 no case.");
    def_operation(
        m, "rawd_2",
        {Param{"sid", ParamKind::Integer}, Param{"all", ParamKind::Integer},
         Param{"status", ParamKind::IntegerArray, 3}, Param{"out", ParamKind::Integer}, ofile},
        [](const CallArguments& a) {
            if (a.integer_or("all", 1) != 1)
                return refuse("rawd_2", kBadOption, "only the whole case can be written (all 1)");
            const long long out = a.integer_or("out", 0);
            if (out != 0 && out != 1)
                return refuse("rawd_2", kBadOption,
                              "out must be 0 (the file ofile) or 1 (the progress output)");
            const std::string file = a.text("ofile").value_or("");
            if (out == 0 && file.empty())
                return refuse("rawd_2", kBadFile, "no output file name given (ofile)");
            return write_raw("rawd_2", current_revision(), out == 0 ? file : std::string());
        },
        "rawd_2(sid, all, status, out, ofile)\n\nWrites the whole case in memory as RAW in the revision of "
        "the "
        "started release (34 for release 34, otherwise 35): to ofile when out is 0 (default), to the "
        "progress "
        "output when out is 1. sid and status are accepted and ignored. Returns 0, or 1 all or out not "
        "supported, 3 no file name or the file cannot be written, 4 the case cannot be written, 5 no case.");
    m.def(
        "case_raw_revision",
        [] {
            const Session& s = Session::instance();
            return s.has_case() ? s.current_case().identification.revision : 0;
        },
        "case_raw_revision()\n\nThe RAW revision the case in memory was read from (33 for cases from other "
        "sources); 0 when no case is in memory.");
    m.def(
        "case_summary",
        [] {
            const Session& s = Session::instance();
            return s.has_case() ? describe_element_counts(s.current_case()) : std::string();
        },
        "case_summary()\n\nThe element counts of the case in memory as one line of text; empty when no case "
        "is in memory.");
}

}  // namespace velquin::sim::python
