// Element operations at scale: creating 5,000 elements (buses, lines,
// two-winding transformers, loads, plants and machines) in a synthetic
// 10,000-bus case, against the same creations in a 100-bus case measured in
// the same process. Per-call cost that does not grow with the case shows as
// a ratio near 1. Also: index lookups against a scan of the bus vector, and
// starting a branch walk at 100 buses of the large case.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "operations/branch_operations.hpp"
#include "operations/bus_operations.hpp"
#include "operations/element_walks.hpp"
#include "operations/load_shunt_operations.hpp"
#include "operations/machine_operations.hpp"
#include "operations/transformer_operations.hpp"

namespace {

using namespace velquin::sim;

constexpr int kRuns = 7;
constexpr int kNewBuses = 1000;  // and as many lines, transformers, loads, machines

double median_ms(const std::function<void()>& prepare, const std::function<void()>& action) {
    std::vector<double> ms;
    for (int k = 0; k < kRuns; ++k) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        action();
        const auto stop = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// A meshed synthetic case: buses 1..n, a ring plus chords (1.5 lines per
// bus), a load on every fifth bus and a machine on every tenth.
Case synthetic_case(int n) {
    Case c;
    for (int i = 1; i <= n; ++i) {
        Bus b;
        b.number = i;
        b.base_kv = 138.0;
        c.buses.push_back(b);
    }
    for (int i = 1; i <= n; ++i) {
        LineBranch l;
        l.from_bus = i;
        l.to_bus = i % n + 1;
        c.lines.push_back(l);
        if (i % 2 == 0) {
            l.to_bus = (i + n / 3) % n + 1;
            l.ckt = "2";
            c.lines.push_back(l);
        }
        if (i % 5 == 0) {
            Load load;
            load.bus = i;
            c.loads.push_back(load);
        }
        if (i % 10 == 0) {
            Plant p;
            p.bus = i;
            c.plants.push_back(p);
            Machine m;
            m.bus = i;
            c.machines.push_back(m);
        }
    }
    return c;
}

// kNewBuses buses numbered above the case, each tied to an existing bus by
// a line and a transformer, with a load, a plant and a machine.
void create_elements(Case& c, CaseIndex& index, int existing) {
    int refused = 0;
    for (int k = 0; k < kNewBuses; ++k) {
        const int bus = 500000 + k;
        const int old = 1 + (k * 7) % existing;
        BusData bd;
        bd.number = bus;
        bd.base_kv = 34.5;
        refused += set_bus_data(c, index, bd).code != 0;
        LineData ld;
        ld.from_bus = old;
        ld.to_bus = bus;
        ld.ckt = "N";
        ld.x = 0.05;
        refused += set_line_data(c, index, ld).code != 0;
        TwoWindingData td;
        td.bus_i = old;
        td.bus_j = bus;
        td.ckt = "T";
        td.x = 0.1;
        refused += set_two_winding_data(c, index, td).result.code != 0;
        LoadData load;
        load.bus = bus;
        load.pl = 1.0;
        refused += set_load_data(c, index, load).code != 0;
        PlantData pd;
        pd.bus = bus;
        refused += set_plant_data(c, index, pd).code != 0;
        MachineData md;
        md.bus = bus;
        md.pg = 2.0;
        refused += set_machine_data(c, index, md).code != 0;
    }
    if (refused != 0) std::printf("unexpected: %d refused creations\n", refused);
}

// Builds every lookup table the creations use, as the first calls after a
// case is opened do.
void index_all(const Case& c, CaseIndex& index) {
    index.bus(c, 1);
    index.line(c, 1, 2, "1");
    index.two_winding(c, 1, 2, "1");
    index.switching_device(c, 1, 2, "1");
    index.load(c, 1, "1");
    index.plant(c, 1);
    index.machine(c, 1, "1");
}

}  // namespace

int main() {
    const Case large = synthetic_case(10000);
    const Case small = synthetic_case(100);
    Case work;
    CaseIndex index;

    const double small_ms = median_ms(
        [&] {
            work = small;
            index.clear();
            index_all(work, index);  // the case in memory is indexed once, before the calls
        },
        [&] { create_elements(work, index, 100); });
    const double large_ms = median_ms(
        [&] {
            work = large;
            index.clear();
            index_all(work, index);
        },
        [&] { create_elements(work, index, 10000); });
    const int calls = 6 * kNewBuses;
    std::printf("create %d elements (%d calls)\n", 5 * kNewBuses, calls);
    std::printf("  into a 100-bus case:    %8.2f ms  (%.2f us per call)\n", small_ms,
                1000.0 * small_ms / calls);
    std::printf("  into a 10,000-bus case: %8.2f ms  (%.2f us per call)\n", large_ms,
                1000.0 * large_ms / calls);
    std::printf("  ratio large / small:    %8.2f\n", large_ms / small_ms);

    // Indexing the large case from scratch (what the first call after a case
    // is opened pays), and lookups through the index against a scan.
    const double index_ms = median_ms([&] { index.clear(); }, [&] { index_all(large, index); });
    std::vector<int> wanted;
    for (int k = 0; k < 5000; ++k) wanted.push_back(1 + (k * 7919) % 10000);
    long long found = 0;
    const double indexed_ms = median_ms([] {},
                                        [&] {
                                            for (int bus : wanted)
                                                found += static_cast<long long>(*index.bus(large, bus));
                                        });
    const double scan_ms =
        median_ms([] {},
                  [&] {
                      for (int bus : wanted) {
                          const auto it = std::find_if(large.buses.begin(), large.buses.end(),
                                                       [bus](const Bus& b) { return b.number == bus; });
                          found += it - large.buses.begin();
                      }
                  });
    std::printf("index every table of the 10,000-bus case: %.2f ms\n", index_ms);
    std::printf("5,000 bus lookups: index %.3f ms, scan %.2f ms, ratio scan / index %.0f  (checksum %lld)\n",
                indexed_ms, scan_ms, scan_ms / indexed_ms, found);

    ElementWalks walks;
    const double walk_ms = median_ms([] {},
                                     [&] {
                                         for (int bus = 1; bus <= 100; ++bus)
                                             walks.start_branches(large, index, bus * 97, 0, 2);
                                     });
    std::printf("start a branch walk at 100 buses of the 10,000-bus case: %.2f ms (%.3f ms per bus)\n",
                walk_ms, walk_ms / 100.0);
    return 0;
}
