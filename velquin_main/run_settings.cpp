#include "run_settings.hpp"

#include "python_support.hpp"

namespace velquin::main {

SoftwareSettings read_software_settings(const py::object& software_rows) {
    SoftwareSettings settings;
    const py::str description_key("attribute description");
    const py::str value_key("attribute value");
    for (const auto& entry : py::dict(software_rows)) {
        const py::object row = py::reinterpret_borrow<py::object>(entry.second);
        const py::object description = row[description_key];
        if (equal(description, py::str("psse_path"))) {
            settings.psse_path = row[value_key];
        } else if (equal(description, py::str("psse_version"))) {
            settings.version = row[value_key];
        } else if (equal(description, py::str("psse_init"))) {
            settings.init_buses = row[value_key];
        }
    }
    return settings;
}

bool is_enabled(const py::object& value) {
    return equal(value, py::str("yes")) || equal(value, py::int_(1)) || equal(value, py::float_(1.0));
}

py::dict enabled_table(const py::object& rows, std::initializer_list<FieldFromRow> fields) {
    py::dict table;
    long counter = 0;
    for (const auto& entry : py::dict(rows)) {
        const py::object row = py::reinterpret_borrow<py::object>(entry.second);
        if (!is_enabled(row[py::str("enabled")])) continue;
        py::dict taken;
        for (const auto& field : fields) taken[py::str(field.name)] = row[py::str(field.row_key)];
        table[py::str(std::to_string(counter++))] = taken;
    }
    return table;
}

py::dict main_case_table(const py::object& main_rows) {
    return enabled_table(main_rows, {{"filepath", "snapshot filepath"}, {"filename", "snapshot filename"}});
}

py::dict small_case_table(const py::object& case_rows) {
    return enabled_table(case_rows, {{"filepath", "filepath of case to be added"},
                                     {"filename", "name of case to be added"},
                                     {"connecting_bus", "connecting bus number"},
                                     {"parent_path", "parent_path"}});
}

}  // namespace velquin::main
