// The subset of MATLAB syntax that MATPOWER case files use: a function
// header, comments, and assignments of scalars, strings, numeric matrices
// and cell arrays to fields of the case struct.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format_error.hpp"

namespace velquin::sim {

struct MatpowerRow {
    int line = 0;  // where the row starts
    std::vector<double> values;
};

struct MatpowerValue {
    enum class Kind { Number, Text, Matrix, Cell };
    Kind kind = Kind::Number;
    int line = 0;  // line of the assignment
    double number = 0.0;
    std::string text;
    std::vector<MatpowerRow> rows;   // Matrix
    std::vector<std::string> cells;  // Cell, in row order
    std::vector<int> cell_lines;     // line of each cell entry
};

struct MatpowerAssignment {
    std::string target;  // the field name, without the struct prefix ("bus")
    MatpowerValue value;
};

// Splits a case file into its assignments. Statements that are not
// assignments of plain values are skipped with a warning; malformed values
// raise FormatError naming the line.
std::vector<MatpowerAssignment> parse_matpower_script(std::string_view text, const std::string& source,
                                                      ImportReport* report);

}  // namespace velquin::sim
