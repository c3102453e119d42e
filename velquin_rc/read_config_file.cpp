#include "read_config_file.hpp"

#include <string>
#include <utility>

#include "velquin_common/python_errors.hpp"
#include "velquin_common/python_values.hpp"

namespace velquin::rc {

namespace {

// Sheet-list headers, in the lower-case form the cleaned sheets carry.
constexpr const char* kColumnName = "sheet name";
constexpr const char* kColumnType = "sheet type";
constexpr const char* kColumnEnabled = "sheet run enabled";
constexpr const char* kColumnFolderPath = "folder path to store results for sheet";
constexpr const char* kParentPath = "parent_path";

py::object import(const char* name) {
    return py::module_::import(name);
}

bool is_text(const py::handle& value) {
    return py::isinstance<py::str>(value);
}

py::object strip_lower(const py::handle& text) {
    return text.attr("strip")().attr("lower")();
}

// Path-like names are tested by their text, so a pathlib name works too.
py::object name_text(const py::object& file_name) {
    if (py::hasattr(file_name, "__fspath__")) return import("os").attr("fspath")(file_name);
    return file_name;
}

using python::contains;
using python::raise;

bool contains(const py::handle& container, const char* item) {
    return contains(container, py::str(item));
}

// Describes where a sheet-list row sits in the workbook: the header is row 1
// and the first data row carries the label 0.
std::string row_place(const py::object& sheet, const py::handle& label) {
    std::string place = "sheet '" + py::str(sheet).cast<std::string>() + "', ";
    if (py::isinstance<py::int_>(label) || py::hasattr(label, "__index__")) {
        const auto row = py::int_(py::reinterpret_borrow<py::object>(label)).cast<long long>() + 2;
        return place + "row " + std::to_string(row);
    }
    return place + "row " + py::repr(label).cast<std::string>();
}

bool is_missing(const py::handle& value) {
    return import("pandas").attr("isna")(value).cast<bool>();
}

// A copy of the frame whose column labels are stripped and lower-cased.
py::object relabelled(const py::object& sheet, const py::object& frame) {
    py::list labels;
    py::set seen;
    for (const auto& label : frame.attr("columns")) {
        if (!is_text(label)) {
            raise(PyExc_TypeError, "configuration sheet '" + py::str(sheet).cast<std::string>() +
                                       "': the column header " + py::repr(label).cast<std::string>() +
                                       " is not text; every header must be text");
        }
        auto clean = strip_lower(label);
        if (seen.contains(clean)) {
            // Two headers that differ only in case or surrounding spaces
            // would make one of the columns unreachable.
            raise(PyExc_ValueError, "configuration sheet '" + py::str(sheet).cast<std::string>() +
                                        "': more than one column is headed '" + clean.cast<std::string>() +
                                        "' once spaces and case are ignored");
        }
        seen.add(clean);
        labels.append(clean);
    }
    auto copy = frame.attr("copy")();
    copy.attr("columns") = labels;
    return copy;
}

py::object cleaned(const py::object& sheet, const py::object& frame) {
    auto result = relabelled(sheet, frame);
    for (const auto& label : py::list(result.attr("columns"))) {
        result[label] = ReadConfigFile::clean_column(result[label]);
    }
    return result;
}

}  // namespace

ReadConfigFile::ReadConfigFile(py::object path, py::object name)
    : file_path(std::move(path)),
      file_name(name.is_none() ? py::str("config.xlsx") : std::move(name)),
      sheet_dict(import("collections").attr("OrderedDict")()),
      raw_dfs(py::none()),
      dfs(py::none()) {
    load_and_process_file();
}

py::object ReadConfigFile::clean_column(const py::object& column) {
    auto object_type = import("builtins").attr("object");
    if (!column.attr("dtype").equal(object_type)) return column;
    // Built value by value so that numbers, booleans and missing cells keep
    // exactly the objects they were (no dtype inference on the way back).
    py::list values;
    for (const auto& value : column.attr("values")) {
        values.append(is_text(value) ? strip_lower(value) : py::reinterpret_borrow<py::object>(value));
    }
    return import("pandas").attr("Series")(values, py::arg("index") = column.attr("index"),
                                           py::arg("name") = column.attr("name"),
                                           py::arg("dtype") = object_type);
}

void ReadConfigFile::load_and_process_file() {
    if (file_path.is_none()) return;
    auto name = name_text(file_name);
    if (contains(name, ".csv")) {
        read_csv(import("os.path").attr("join")(file_path, name));
    } else if (contains(name, ".xlsx")) {
        read_workbook(import("os.path").attr("join")(file_path, name));
    }
    scan_sheet_lists();
}

void ReadConfigFile::read_workbook(const py::object& path) {
    raw_dfs = import("pandas").attr("read_excel")(path, py::arg("sheet_name") = py::none());
    py::dict trimmed;
    for (const auto& [sheet, frame] : py::dict(raw_dfs)) {
        if (!is_text(sheet)) {
            raise(PyExc_AttributeError, "configuration workbook: the sheet name " +
                                            py::repr(sheet).cast<std::string>() + " is not text");
        }
        trimmed[sheet.attr("lower")()] = frame.attr("dropna")(py::arg("how") = "all");
    }
    py::dict sheets;
    for (const auto& [sheet, frame] : trimmed) {
        sheets[sheet] =
            cleaned(py::reinterpret_borrow<py::object>(sheet), py::reinterpret_borrow<py::object>(frame));
    }
    dfs = sheets;
}

void ReadConfigFile::read_csv(const py::object& path) {
    raw_dfs = import("pandas").attr("read_csv")(path);
    dfs = cleaned(name_text(file_name), raw_dfs.attr("dropna")(py::arg("how") = "all"));
}

void ReadConfigFile::scan_sheet_lists() {
    if (dfs.is_none()) {
        raise(PyExc_AttributeError, "cannot read the configuration file " +
                                        py::repr(file_name).cast<std::string>() +
                                        ": its name holds neither '.xlsx' nor '.csv'");
    }
    if (!py::isinstance<py::dict>(dfs)) {
        // A comma-separated file is one table: it can hold neither a sheet
        // list nor the typed sheets such a list names.
        raise(PyExc_AttributeError, "the configuration file " + py::repr(file_name).cast<std::string>() +
                                        " is a single comma-separated table and cannot list sheets; "
                                        "use an .xlsx workbook");
    }
    for (const auto& [sheet, frame] : py::dict(dfs)) {
        auto columns = frame.attr("columns");
        if (contains(columns, kColumnName) && contains(columns, kColumnType) &&
            contains(columns, kColumnEnabled)) {
            scan_sheet_list(py::reinterpret_borrow<py::object>(sheet),
                            py::reinterpret_borrow<py::object>(frame));
        }
    }
}

void ReadConfigFile::scan_sheet_list(const py::object& list_name, const py::object& frame) {
    const bool has_folder = contains(frame.attr("columns"), kColumnFolderPath);
    auto at = frame.attr("at");
    for (const auto& label : frame.attr("index")) {
        if (!has_folder) {
            raise(PyExc_KeyError, "sheet list '" + py::str(list_name).cast<std::string>() +
                                      "' has no column '" + kColumnFolderPath + "'");
        }
        py::object sheet_name = at[py::make_tuple(label, kColumnName)];
        py::object sheet_type = at[py::make_tuple(label, kColumnType)];
        py::object sheet_enabled = at[py::make_tuple(label, kColumnEnabled)];
        py::object sheet_folder_path = at[py::make_tuple(label, kColumnFolderPath)];

        if (is_missing(sheet_enabled) || !py::bool_(sheet_enabled)) continue;

        if (!is_text(sheet_name)) {
            raise(PyExc_AttributeError, row_place(list_name, label) + ": the sheet name " +
                                            py::repr(sheet_name).cast<std::string>() + " is not text");
        }
        sheet_dict[sheet_name.attr("lower")()] = sheet_type;

        // Only a plain true/1 gives the sheet a result folder; an enabling
        // text such as "not applicable" does not.
        if (!sheet_enabled.equal(py::int_(1))) continue;
        for (const auto& [name, sheet_frame] : py::dict(dfs)) {
            if (name.equal(sheet_name)) sheet_frame[kParentPath] = sheet_folder_path;
        }
    }
}

py::object ReadConfigFile::filter_sheet_dict(const py::object& search_term) const {
    auto term = search_term.attr("lower")();
    auto split = import("re").attr("split");
    auto result = import("collections").attr("OrderedDict")();
    for (const auto& [sheet, type] : py::dict(sheet_dict)) {
        if (!is_text(type)) {
            raise(PyExc_AttributeError, "the sheet list gives sheet '" + py::str(sheet).cast<std::string>() +
                                            "' the type " + py::repr(type).cast<std::string>() +
                                            ", which is not text");
        }
        auto lowered = type.attr("lower")();
        py::list pieces;
        for (const auto& piece : split("[;,]", lowered)) pieces.append(piece.attr("strip")());
        if (pieces.size() == 1) {
            if (py::object(pieces[0]).equal(term)) result[sheet] = lowered;
            continue;
        }
        for (const auto& piece : pieces) {
            if (contains(piece, term)) result[sheet] = piece;
        }
    }
    return result;
}

py::object ReadConfigFile::get_soft_config_sheet() const {
    return filter_sheet_dict(py::str("SOFT_INPUT"));
}
py::object ReadConfigFile::get_case_config_sheet() const {
    return filter_sheet_dict(py::str("CASE_INPUT"));
}
py::object ReadConfigFile::get_main_config_sheet() const {
    return filter_sheet_dict(py::str("MAIN_INPUT"));
}

py::object ReadConfigFile::rows_of(const py::object& sheets) const {
    py::dict result;
    long long counter = 0;  // runs on across the sheets of one type
    for (const auto& sheet : sheets) {
        if (dfs.is_none() || !contains(dfs, sheet)) continue;
        auto rows = dfs[sheet].attr("to_dict")(py::arg("orient") = "index");
        for (const auto& [label, row] : py::dict(rows)) {
            (void)label;
            result[py::str(std::to_string(counter))] = row;
            ++counter;
        }
    }
    return result;
}

py::object ReadConfigFile::get_soft_config_indexed_dict() const {
    return rows_of(get_soft_config_sheet());
}
py::object ReadConfigFile::get_case_config_indexed_dict() const {
    return rows_of(get_case_config_sheet());
}
py::object ReadConfigFile::get_main_config_indexed_dict() const {
    return rows_of(get_main_config_sheet());
}

}  // namespace velquin::rc
