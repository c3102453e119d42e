#include <pybind11/pybind11.h>

PYBIND11_MODULE(velquin_main, module) { module.doc() = "Velquin"; }
