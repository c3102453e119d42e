// Start-up module of one simulator release (psse34, psse3505, psse3601,
// psse3602). Importing it records which release was started; psspy
// reports it.
#include <pybind11/pybind11.h>

#include "api/session.hpp"

#ifndef VELQUIN_STARTUP_MODULE
#error "VELQUIN_STARTUP_MODULE must name the module"
#endif
#ifndef VELQUIN_STARTUP_RELEASE
#error "VELQUIN_STARTUP_RELEASE must name the release"
#endif

PYBIND11_MODULE(VELQUIN_STARTUP_MODULE, m) {
    m.doc() = "Velquin embedded simulator start-up module for release " VELQUIN_STARTUP_RELEASE ".";
    velquin::sim::Session::instance().set_started_release(VELQUIN_STARTUP_RELEASE);
    m.attr("release") = VELQUIN_STARTUP_RELEASE;
}
