// The tables of a case as the case reader returns them: one dict per
// element kind, mapping upper-case field keys to tuples with one entry per
// element. Units are those the creation calls take, except that machine,
// load and shunt powers are divided by exactly 100.
#pragma once

#include <pybind11/pybind11.h>

#include "model/case.hpp"

namespace velquin::sim::python {

namespace py = pybind11;

// Sets every table attribute (pssbus, casbrn, castrn, pssgen, pssfsh,
// psswsh, psslod, pssind, pssbrn, psstrn, pss3wt, pssabx, pssmsl, psssub,
// pssald) and the counts cas_nbrn, cas_ntrn on `target`.
void set_case_tables(py::object& target, const Case& c);

}  // namespace velquin::sim::python
