#include "status_report.hpp"

#include <string>
#include <vector>

#include "python_helpers.hpp"
#include "velquin_common/text_file.hpp"

namespace velquin::misc {

namespace {

// Lines for `d`, each indented by `indent` blanks; a dictionary value opens a
// block indented four blanks further.
void format_dict(const py::handle& d, std::size_t indent, std::vector<std::string>& lines) {
    const RecursionGuard guard(" while formatting a status report");
    const std::string margin(indent, ' ');
    for (const auto& entry : d.attr("items")()) {
        const auto pair = unpack_exact(entry, 2);
        const std::string key = py::str(pair[0]).cast<std::string>();
        if (PyDict_Check(pair[1].ptr())) {
            lines.push_back(margin + key + ":");
            format_dict(pair[1], indent + 4, lines);
        } else {
            lines.push_back(margin + key + ": " + py::str(pair[1]).cast<std::string>());
        }
    }
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

}  // namespace

void write_status_report(const py::object& filename, const py::kwargs& statuses) {
    python::TextFile report(filename);
    for (const auto& [title, section] : statuses) {
        report.write(py::str(title).cast<std::string>() + ":\n");
        std::vector<std::string> lines;
        format_dict(section, 4, lines);
        report.write(joined(lines));
        report.write("\n\n");
    }
    report.close();
}

void register_status_report(py::module_& module) {
    module.def("write_status_report", &write_status_report, py::arg("filename"),
               "Writes one titled block per status dictionary given by keyword.");
}

}  // namespace velquin::misc
