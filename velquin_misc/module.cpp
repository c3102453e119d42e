#include <pybind11/pybind11.h>

PYBIND11_MODULE(velquin_misc, module) { module.doc() = "Velquin"; }
