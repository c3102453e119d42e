// The tables of a case as the case reader returns them: one dict per
// element kind, mapping upper-case field keys to tuples with one entry per
// element. Units are those the creation calls take, except that machine,
// load and shunt powers are divided by exactly 100.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "model/case.hpp"

namespace velquin::sim::python {

namespace py = pybind11;

// One attribute of the case reader's object: its name and how it is built
// from the case.
struct CaseTable {
    const char* name;
    py::object (*build)(const Case&);
};

// Every table attribute (pssbus, casbrn, castrn, pssgen, pssfsh, psswsh,
// psslod, pssind, pssbrn, psstrn, pss3wt, pssabx, pssmsl, psssub, pssald,
// pss2dc, pssvsc, pssmdc, pssfct, pssict, pssitr) and the counts cas_nbrn,
// cas_ntrn.
const std::vector<CaseTable>& case_tables();

}  // namespace velquin::sim::python
