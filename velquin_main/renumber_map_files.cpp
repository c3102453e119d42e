#include "renumber_map_files.hpp"

#include "python_support.hpp"

namespace velquin::main {

void write_renumber_map_text(const py::object& path, const py::object& renumber_map) {
    TextFile file(path);
    const py::str arrow(" -> ");
    const py::str newline("\n");
    for (const auto& entry : py::dict(renumber_map)) {
        file.write(join_text({entry.first, arrow, entry.second, newline}));
    }
    file.close();
}

void write_renumber_map_json(const py::object& path, const py::object& renumber_map) {
    TextFile file(path);
    py::module_::import("json").attr("dump")(renumber_map, file.handle(), py::arg("indent") = 4);
    file.close();
}

}  // namespace velquin::main
