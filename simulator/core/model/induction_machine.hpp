// Induction machines, with every field of their power-flow record.
#pragma once

#include <string>

#include "model/types.hpp"

namespace velquin::sim {

struct InductionMachine {
    int bus = 0;
    std::string id = "1";
    int status = 1;
    int scode = 1;
    int dcode = 2;
    int area = 1;
    int zone = 1;
    int owner = 1;
    int tcode = 1;
    int bcode = 1;
    double mbase = 100.0;
    double ratekv = 0.0;
    int pcode = 1;
    double pset = 0.0;  // MW; negative values are generation
    double h = 1.0;
    double a = 1.0;
    double b = 1.0;
    double d = 1.0;
    double e = 1.0;
    double ra = 0.0;
    double xa = 0.0;
    double xm = 2.5;
    double r1 = 999.0;
    double x1 = 999.0;
    double r2 = 999.0;
    double x2 = 999.0;
    double x3 = 0.0;
    double e1 = 1.0;
    double se1 = 0.0;
    double e2 = 1.2;
    double se2 = 0.0;
    double ia1 = 0.0;
    double ia2 = 0.0;
    double xamult = 1.0;  // IAM
    std::string name;
    bool operator==(const InductionMachine&) const = default;
};

}  // namespace velquin::sim
