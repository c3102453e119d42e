#include "loadflow/facts_device_model.hpp"

#include <cmath>
#include <numbers>

namespace velquin::sim::loadflow {

bool facts_bypassed(const FactsDevice& f) {
    return f.mode == kFactsSeriesBypassed && f.terminal_bus != 0;
}

bool facts_has_series_branch(const FactsDevice& f) {
    return (f.mode == kFactsConstantImpedance || f.mode == kFactsConstantVoltage) && f.terminal_bus != 0;
}

bool facts_has_shunt(const FactsDevice& f) {
    return f.mode >= kFactsNormal && f.mode <= kFactsConstantVoltage && f.shunt_max > 0.0;
}

TwoPort facts_series_two_port(const FactsDevice& f, double zero_impedance, std::string& note) {
    auto nonzero = [&](Complex z) {
        if (std::abs(z) > 1e-12) return z;
        note = "zero series impedance: solved with the zero-impedance threshold as reactance";
        return Complex(0.0, zero_impedance);
    };
    if (f.mode == kFactsConstantImpedance) {
        const Complex y = 1.0 / nonzero(Complex(f.set1, f.set2));
        return TwoPort{y, -y, -y, y};
    }
    // Series voltage SET1 at SET2 degrees ahead of the sending-end voltage:
    // the reactance sees k V_I, k = 1 + SET1 e^{j SET2}, an ideal complex
    // ratio 1/k on the sending side.
    if (f.series_voltage_reference != 0)
        note =
            "series voltage referred to the series current (VSREF 1) is not modelled: referred to the "
            "sending-end "
            "voltage";
    const Complex k = 1.0 + std::polar(f.set1, f.set2 * std::numbers::pi / 180.0);
    const Complex y = 1.0 / nonzero(Complex(0.0, f.dummy_reactance));
    if (std::abs(k) < 1e-9) {
        note = "series voltage cancels the sending-end voltage: the series element is left out";
        return TwoPort{};
    }
    return winding_two_port(y, 1.0 / std::abs(k), -std::arg(k), 1.0);
}

FactsSeriesState facts_series_state(const FactsDevice& f, Complex schedule, Complex v_sending,
                                    Complex v_terminal, double base_mva) {
    const Complex current = std::conj(schedule / v_terminal);
    const Complex inserted = v_terminal + Complex(0.0, f.dummy_reactance) * current - v_sending;
    FactsSeriesState s;
    s.voltage = std::abs(inserted);
    s.current = std::abs(current);
    s.bridge_mw = (inserted * std::conj(current)).real() * base_mva;
    return s;
}

}  // namespace velquin::sim::loadflow
