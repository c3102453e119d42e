#include <pybind11/pybind11.h>

PYBIND11_MODULE(velquin_rc, module) { module.doc() = "Velquin"; }
