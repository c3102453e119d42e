#include "loadflow/load_drop_compensation.hpp"

namespace velquin::sim::loadflow {

double compensated_voltage(const NetworkModel& m, const TapControl& tc, const std::vector<Complex>& v) {
    const BranchStamp& s = m.stamps[static_cast<std::size_t>(tc.stamp)];
    const Complex va = v[static_cast<std::size_t>(s.a)], vb = v[static_cast<std::size_t>(s.b)];
    // The current leaving the transformer at the side of the controlled
    // bus: the far side (the winding's other side, or the star point of a
    // three-winding transformer) unless the controlled bus is on the tap
    // side.
    const Complex delivered =
        tc.controlled_on_tap_side ? -(s.yaa * va + s.yab * vb) : -(s.yba * va + s.ybb * vb);
    return std::abs(v[static_cast<std::size_t>(tc.controlled_node)] - tc.load_drop * delivered);
}

}  // namespace velquin::sim::loadflow
