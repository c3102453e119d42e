#include "bus_numbers_in_use.hpp"

#include "python_support.hpp"

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
    for (const auto& number : bus_numbers) {
        added_.append(number);
        if (all_numbers_) all_numbers_->add(number);
    }
}

bool BusNumbersInUse::contains(const py::handle& number) {
    if (!all_numbers_) {
        py::set numbers(main_bus_table_[py::str("NUM")]);
        for (const auto& added : added_) numbers.add(added);
        all_numbers_ = numbers;
    }
    return python::contains(*all_numbers_, number);
}

}  // namespace velquin::main
