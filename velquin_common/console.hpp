// Console handling shared by the modules that clear the console on import.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace velquin::python {

// Clears the console with "cls" where that command exists (Windows); other
// platforms have no such command and nothing is done there.
inline void clear_console_on_windows() {
    const pybind11::module_ os = pybind11::module_::import("os");
    if (pybind11::str(os.attr("name")).cast<std::string>() == "nt") os.attr("system")("cls");
}

}  // namespace velquin::python
