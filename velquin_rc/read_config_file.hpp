// The configuration workbook reader: loads every sheet once, normalises
// headers and text cells, finds the enabled sheets through the sheet lists
// and hands out the rows of each sheet type as plain dictionaries.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::rc {

namespace py = pybind11;

class ReadConfigFile {
public:
    ReadConfigFile(py::object file_path, py::object file_name);

    void load_and_process_file();

    // Strips and lower-cases the text cells of a text (object) column; any
    // other column comes back as the very same object.
    static py::object clean_column(const py::object& column);

    py::object filter_sheet_dict(const py::object& search_term) const;

    py::object get_data_frame() const { return dfs; }

    py::object get_soft_config_sheet() const;
    py::object get_case_config_sheet() const;
    py::object get_main_config_sheet() const;

    py::object get_soft_config_indexed_dict() const;
    py::object get_case_config_indexed_dict() const;
    py::object get_main_config_indexed_dict() const;

    py::object file_path;
    py::object file_name;
    py::object sheet_dict;  // collections.OrderedDict: sheet name -> type cell
    py::object raw_dfs;     // what the file reader returned, untouched
    py::object dfs;         // cleaned sheets; None until loading succeeded

private:
    void read_workbook(const py::object& path);
    void read_csv(const py::object& path);
    void scan_sheet_lists();
    void scan_sheet_list(const py::object& list_name, const py::object& frame);
    py::object rows_of(const py::object& sheets) const;
};

}  // namespace velquin::rc
