#include "loadflow/induction_model.hpp"

#include <cmath>

namespace velquin::sim::loadflow {

namespace {

struct Circuit {
    const InductionModel& m;
    double u;  // terminal voltage, pu of rated voltage

    Complex rotor(double s) const {
        const Complex z1(m.zr1.real() / s, m.zr1.imag());
        if (!m.has_second_cage) return z1;
        const Complex z2(m.zr2.real() / s, m.zr2.imag());
        return z1 * z2 / (z1 + z2);
    }
    // Input power (machine base) and mechanical power at slip s.
    void powers(double s, Complex& input, double& mechanical) const {
        const Complex zr = rotor(s);
        const Complex zp = m.zm * zr / (m.zm + zr);
        const Complex z = m.zs + zp;
        const Complex i = u / z;
        input = u * std::conj(i);
        const Complex ir = i * m.zm / (m.zm + zr);
        const double air_gap = std::norm(ir) * zr.real();
        mechanical = air_gap * (1.0 - s);
    }
    double controlled(double s) const {
        Complex in;
        double mech = 0.0;
        powers(s, in, mech);
        return m.mechanical ? mech : in.real();
    }
};

}  // namespace

InductionState induction_state(const InductionModel& m, double vm) {
    InductionState st;
    const double u = vm * m.v_scale;
    const double target = m.p / m.base_ratio;  // machine base
    if (!m.has_rotor || target == 0.0) {
        // Without rotor data the machine draws its set point and the
        // magnetising current only.
        const double q = u * u / m.zm.imag();
        st.consumption = Complex(target, q) * m.base_ratio;
        return st;
    }
    const Circuit c{m, u};
    // The controlled power rises from 0 at zero slip to the pull-out value
    // (negative slips for generation); find the pull-out slip first.
    const double sign = target > 0.0 ? 1.0 : -1.0;
    double lo = 1e-9, hi = 1.0;
    for (int k = 0; k < 60; ++k) {
        const double a = lo + (hi - lo) / 3.0, b = hi - (hi - lo) / 3.0;
        if (sign * c.controlled(sign * a) < sign * c.controlled(sign * b))
            lo = a;
        else
            hi = b;
    }
    const double pullout = 0.5 * (lo + hi);
    double s_hi = pullout, s_lo = 0.0;
    if (sign * c.controlled(sign * pullout) < std::fabs(target)) {
        st.stalled = true;
        s_lo = pullout;
    } else {
        for (int k = 0; k < 60; ++k) {
            const double mid = 0.5 * (s_lo + s_hi);
            if (sign * c.controlled(sign * mid) < std::fabs(target))
                s_lo = mid;
            else
                s_hi = mid;
        }
    }
    st.slip = sign * 0.5 * (s_lo + s_hi);
    if (st.stalled) st.slip = sign * pullout;
    Complex in;
    double mech = 0.0;
    c.powers(st.slip, in, mech);
    st.consumption = in * m.base_ratio;
    return st;
}

}  // namespace velquin::sim::loadflow
