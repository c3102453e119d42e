#include "path_resolution.hpp"

#include <string>

#include "python_support.hpp"

namespace velquin::main {

namespace {

py::object os_path() {
    return py::module_::import("os").attr("path");
}

bool exists(const py::object& path) {
    return truthy(os_path().attr("lexists")(path));
}

py::object lowered(const py::handle& name) {
    return py::str(name).attr("lower")();
}

// The single entry of `folder` named `component` ignoring case; empty when
// there is none or `folder` cannot be listed.
py::object case_insensitive_entry(const py::object& folder, const py::object& component,
                                  const py::object& whole_path) {
    py::list entries;
    try {
        entries = py::module_::import("os").attr("listdir")(folder.is_none() ? py::str(".") : folder);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_OSError)) throw;
        return {};
    }
    const py::object wanted = lowered(component);
    py::list matches;
    for (const auto& entry : entries) {
        if (equal(lowered(entry), wanted)) matches.append(entry);
    }
    if (matches.size() > 1) {
        matches.attr("sort")();
        raise(PyExc_FileNotFoundError,
              "cannot resolve the path '" + text(whole_path) + "': '" + text(component) +
                  "' matches several entries in '" + text(folder.is_none() ? py::str(".") : folder) +
                  "' when letter case is ignored (" + text(py::str(", ").attr("join")(matches)) + ")");
    }
    if (matches.size() == 1) return matches[0];
    return {};
}

}  // namespace

py::object resolve_path(const py::object& path) {
    if (exists(path)) return path;
    const py::tuple parts = py::module_::import("pathlib").attr("PurePath")(path).attr("parts");
    py::object resolved = py::none();  // none: nothing taken yet (relative to the working folder)
    bool resolving = true;
    for (const auto& part_handle : parts) {
        const py::object part = py::reinterpret_borrow<py::object>(part_handle);
        const py::object written = resolved.is_none() ? part : path_join(resolved, part);
        if (!resolving || exists(written)) {
            resolved = written;
            continue;
        }
        const py::object entry = case_insensitive_entry(resolved, part, path);
        if (entry) {
            resolved = resolved.is_none() ? entry : path_join(resolved, entry);
        } else {
            resolving = false;
            resolved = written;
        }
    }
    return resolved.is_none() ? path : resolved;
}

py::object make_folder(const py::object& path) {
    const py::object resolved = resolve_path(path);
    py::module_::import("os").attr("makedirs")(resolved, py::arg("exist_ok") = true);
    return resolved;
}

}  // namespace velquin::main
