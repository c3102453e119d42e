// Compares two result folders of a run (or two files) file by file: text
// files byte for byte (first differing line shown), saved cases field by
// field through the saved-case layout, doubles by their bits. For saved
// cases that differ it reports, per record kind and field position, how
// many values differ and the largest absolute difference, so that "not
// bit-identical" comes with its size.
//
//     compare_results FOLDER_A FOLDER_B
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <typeinfo>

#include "casefile/case_file.hpp"
#include "casefile/case_layout.hpp"

using namespace velquin::sim;
namespace fs = std::filesystem;

namespace {

struct FieldDifference {
    std::size_t count = 0;
    double largest = 0.0;
};

// Walks two records of one type in step and notes every differing value.
class Comparer {
public:
    std::map<std::string, FieldDifference> differences;

    template <class T>
    void records(const char* kind, const std::vector<T>& a, const std::vector<T>& b) {
        if (a.size() != b.size()) {
            note(std::string(kind) + " count", 1, 0.0);
            return;
        }
        for (std::size_t i = 0; i < a.size(); ++i) record(kind, a[i], b[i]);
    }

    template <class T>
    void record(const std::string& kind, const T& a, const T& b) {
        auto outer = [&](const auto&... fa) {
            auto inner = [&](const auto&... fb) {
                int position = 0;
                (value(kind + " field " + std::to_string(++position), fa, fb), ...);
            };
            casefile::visit_fields(inner, b);
        };
        casefile::visit_fields(outer, a);
    }

private:
    void note(const std::string& where, std::size_t n, double size) {
        FieldDifference& d = differences[where];
        d.count += n;
        d.largest = std::max(d.largest, size);
    }
    void value(const std::string& where, double a, double b) {
        if (std::memcmp(&a, &b, sizeof a) != 0) note(where, 1, std::fabs(a - b));
    }
    void value(const std::string& where, int a, int b) {
        if (a != b) note(where, 1, std::fabs(static_cast<double>(a) - b));
    }
    void value(const std::string& where, long long a, long long b) {
        if (a != b) note(where, 1, std::fabs(static_cast<double>(a - b)));
    }
    void value(const std::string& where, const Complex& a, const Complex& b) {
        value(where + " re", a.real(), b.real());
        value(where + " im", a.imag(), b.imag());
    }
    void value(const std::string& where, const std::string& a, const std::string& b) {
        if (a != b) note(where, 1, 0.0);
    }
    void value(const std::string& where, const AuxRecord& a, const AuxRecord& b) {
        if (!(a == b)) note(where, 1, 0.0);
    }
    template <class T, std::size_t N>
    void value(const std::string& where, const std::array<T, N>& a, const std::array<T, N>& b) {
        for (std::size_t i = 0; i < N; ++i) value(where, a[i], b[i]);
    }
    template <class T>
    void value(const std::string& where, const std::vector<T>& a, const std::vector<T>& b) {
        if (a.size() != b.size()) {
            note(where + " count", 1, 0.0);
            return;
        }
        for (std::size_t i = 0; i < a.size(); ++i) value(where, a[i], b[i]);
    }
    template <class T>
    requires std::is_class_v<T>
    void value(const std::string& where, const T& a, const T& b) { record(where, a, b); }
};

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Returns true when the files are the same.
bool compare_saved_cases(const fs::path& a, const fs::path& b) {
    const Case ca = load_case_file(a);
    const Case cb = load_case_file(b);
    Comparer cmp;
    cmp.record("identification", ca.identification, cb.identification);
    cmp.record("system-wide", ca.system_wide, cb.system_wide);
    cmp.records("bus", ca.buses, cb.buses);
    cmp.records("load", ca.loads, cb.loads);
    cmp.records("fixed shunt", ca.fixed_shunts, cb.fixed_shunts);
    cmp.records("plant", ca.plants, cb.plants);
    cmp.records("machine", ca.machines, cb.machines);
    cmp.records("line", ca.lines, cb.lines);
    cmp.records("switching device", ca.switching_devices, cb.switching_devices);
    cmp.records("transformer", ca.transformers, cb.transformers);
    cmp.records("switched shunt", ca.switched_shunts, cb.switched_shunts);
    cmp.records("induction machine", ca.induction_machines, cb.induction_machines);
    // The remaining lists are not written by any solution: compared whole.
    Case ra = ca, rb = cb;
    for (Case* c : {&ra, &rb}) {
        c->identification = {};
        c->system_wide = {};
        c->buses.clear();
        c->loads.clear();
        c->fixed_shunts.clear();
        c->plants.clear();
        c->machines.clear();
        c->lines.clear();
        c->switching_devices.clear();
        c->transformers.clear();
        c->switched_shunts.clear();
        c->induction_machines.clear();
    }
    if (!(ra == rb)) cmp.differences["other lists"].count += 1;
    for (const auto& [where, d] : cmp.differences)
        std::printf("    %-40s %6zu value(s) differ, largest difference %.3g\n", where.c_str(), d.count,
                    d.largest);
    return cmp.differences.empty();
}

bool compare_text(const fs::path& a, const fs::path& b) {
    const std::string ta = read_file(a), tb = read_file(b);
    if (ta == tb) return true;
    std::istringstream sa(ta), sb(tb);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool ga = static_cast<bool>(std::getline(sa, la));
        const bool gb = static_cast<bool>(std::getline(sb, lb));
        if (!ga && !gb) break;
        if (la != lb || ga != gb) {
            std::printf("    line %d:\n      < %s\n      > %s\n", line, ga ? la.c_str() : "(end)",
                        gb ? lb.c_str() : "(end)");
            break;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER_A FOLDER_B (or FILE_A FILE_B)\n", argv[0]);
        return 2;
    }
    const fs::path root_a = argv[1], root_b = argv[2];
    std::vector<fs::path> files;
    if (fs::is_directory(root_a)) {
        for (const auto& e : fs::recursive_directory_iterator(root_a))
            if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root_a));
    } else {
        files.emplace_back();
    }
    std::sort(files.begin(), files.end());
    std::size_t same = 0, differ = 0, missing = 0;
    for (const fs::path& rel : files) {
        const fs::path a = rel.empty() ? root_a : root_a / rel;
        const fs::path b = rel.empty() ? root_b : root_b / rel;
        if (!fs::exists(b)) {
            std::printf("%s: missing in %s\n", rel.c_str(), root_b.c_str());
            ++missing;
            continue;
        }
        std::printf("%s\n", (rel.empty() ? a : rel).c_str());
        const bool equal = a.extension() == ".sav" ? read_file(a) == read_file(b) || compare_saved_cases(a, b)
                                                   : compare_text(a, b);
        (equal ? same : differ) += 1;
        std::printf("    %s\n", equal ? "same" : "DIFFERENT");
    }
    std::printf("%zu file(s) the same, %zu different, %zu missing\n", same, differ, missing);
    return differ + missing == 0 ? 0 : 1;
}
