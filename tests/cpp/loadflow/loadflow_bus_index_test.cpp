// The bus number lookup of the load flow: each index answers for its own
// list of buses, whatever other indexes exist at the same time.
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/matpower_format.hpp"
#include "loadflow/bus_index.hpp"
#include "loadflow/network_model.hpp"

namespace velquin::sim {
namespace {

TEST(LoadflowBusIndex, EachIndexOwnsItsTable) {
    auto buses = [](std::initializer_list<int> numbers) {
        std::vector<Bus> list;
        for (int n : numbers) {
            Bus b;
            b.number = n;
            list.push_back(b);
        }
        return list;
    };
    const std::vector<Bus> first = buses({5, 7, 9});
    const std::vector<Bus> second = buses({9, 5, 11, 999999, 900001});  // sparse: hashed
    const loadflow::BusIndex a(first);
    const loadflow::BusIndex b(second);
    {
        // A third index over another case, gone before the others are used.
        const loadflow::BusIndex c(buses({7, 5}));
        EXPECT_EQ(c.find(7), 0);
    }
    EXPECT_EQ(a.find(5), 0);
    EXPECT_EQ(a.find(7), 1);
    EXPECT_EQ(a.find(9), 2);
    EXPECT_EQ(a.find(11), -1);
    EXPECT_EQ(b.find(9), 0);
    EXPECT_EQ(b.find(5), 1);
    EXPECT_EQ(b.find(999999), 3);
    EXPECT_EQ(b.find(900001), 4);
    EXPECT_EQ(b.find(7), -1);
    EXPECT_EQ(b.find(-5), -1);
    EXPECT_EQ(loadflow::BusIndex(buses({3, 3})).find(3), 1);
    EXPECT_EQ(loadflow::BusIndex(buses({-4, 2})).find(-4), 0);
    EXPECT_EQ(loadflow::BusIndex{}.find(0), -1);
    // A network built while another index is alive finds its own buses.
    Case c = read_matpower_file(std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "matpower" / "case9.m");
    const loadflow::NetworkModel m = loadflow::build_network(c, loadflow::BuildSettings{});
    EXPECT_EQ(m.node_count, 9);
    EXPECT_EQ(a.find(7), 1);
}

}  // namespace
}  // namespace velquin::sim
