// Reads a whole saved case into one data object, without touching the case
// open in psspy.
#include <pybind11/pybind11.h>

PYBIND11_MODULE(caspy, m) {
    m.doc() = "Velquin embedded simulator: whole saved-case reader.";
}
