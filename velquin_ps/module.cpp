#include <pybind11/pybind11.h>

PYBIND11_MODULE(velquin_ps, module) { module.doc() = "Velquin"; }
