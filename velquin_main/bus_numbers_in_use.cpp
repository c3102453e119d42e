#include "bus_numbers_in_use.hpp"

namespace velquin::main {

py::object BusNumbersInUse::table() const {
    if (added_.empty()) return main_bus_table_;
    py::dict table(main_bus_table_);
    py::dict copy = table.attr("copy")();
    py::list numbers(main_bus_table_[py::str("NUM")]);
    for (const auto& number : added_) numbers.append(number);
    copy[py::str("NUM")] = py::tuple(numbers);
    return copy;
}

void BusNumbersInUse::add(const py::object& bus_numbers) {
    for (const auto& number : bus_numbers) added_.append(number);
}

}  // namespace velquin::main
