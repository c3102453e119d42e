// Python bindings of the configuration workbook reader.
#include <pybind11/pybind11.h>

#include "read_config_file.hpp"

namespace py = pybind11;
using velquin::rc::ReadConfigFile;

PYBIND11_MODULE(velquin_rc, module) {
    module.doc() = "Velquin configuration workbook reader";
    // Fail at import, not at the first workbook, when pandas is missing.
    py::module_::import("pandas");

    py::class_<ReadConfigFile>(module, "ReadConfigFile", py::dynamic_attr())
        .def(py::init<py::object, py::object>(), py::arg("file_path") = py::none(),
             py::arg("file_name") = py::none())
        .def_readwrite("file_path", &ReadConfigFile::file_path)
        .def_readwrite("file_name", &ReadConfigFile::file_name)
        .def_readwrite("sheet_dict", &ReadConfigFile::sheet_dict)
        .def_readwrite("_dfs", &ReadConfigFile::raw_dfs)
        .def_readwrite("dfs", &ReadConfigFile::dfs)
        .def("load_and_process_file", &ReadConfigFile::load_and_process_file)
        .def_static("clean_column", &ReadConfigFile::clean_column, py::arg("column"))
        .def("_filter_sheet_dict", &ReadConfigFile::filter_sheet_dict, py::arg("search_term"))
        .def("get_data_frame", &ReadConfigFile::get_data_frame)
        .def("get_soft_config_sheet", &ReadConfigFile::get_soft_config_sheet)
        .def("get_case_config_sheet", &ReadConfigFile::get_case_config_sheet)
        .def("get_main_config_sheet", &ReadConfigFile::get_main_config_sheet)
        .def("get_soft_config_indexed_dict", &ReadConfigFile::get_soft_config_indexed_dict)
        .def("get_case_config_indexed_dict", &ReadConfigFile::get_case_config_indexed_dict)
        .def("get_main_config_indexed_dict", &ReadConfigFile::get_main_config_indexed_dict);
}
