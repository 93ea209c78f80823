#include "settings/welcome/Spring.h"

#include <algorithm>
#include <cmath>

namespace {

// Relative tolerance under which damping counts as critical.
constexpr double criticalTolerance = 1e-9;
// Bisection steps for the envelopes without a closed form: far below a millisecond.
constexpr int bisectionSteps = 80;

}  // namespace

Spring Spring::smooth() { return {170, 2 * std::sqrt(170.0), 1}; }

double Spring::offset(double t) const {
    if (t <= 0) return 1;
    const double m = mass > 0 ? mass : 1;
    const double w0 = std::sqrt(std::max(stiffness, 0.0) / m);
    const double beta = damping / (2 * m);
    if (w0 <= 0) return 1;
    const double zeta = beta / w0;
    if (std::abs(zeta - 1) < criticalTolerance) {
        return std::exp(-beta * t) * (1 + beta * t);
    }
    if (zeta < 1) {
        const double wd = std::sqrt(w0 * w0 - beta * beta);
        return std::exp(-beta * t) * (std::cos(wd * t) + beta / wd * std::sin(wd * t));
    }
    // Overdamped: two decaying exponentials.
    const double root = std::sqrt(beta * beta - w0 * w0);
    const double r1 = -beta + root, r2 = -beta - root;
    return (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

double Spring::settlingDuration(double rest) const {
    const double m = mass > 0 ? mass : 1;
    const double w0 = std::sqrt(std::max(stiffness, 0.0) / m);
    const double beta = damping / (2 * m);
    if (w0 <= 0 || beta <= 0 || rest <= 0 || rest >= 1) return 0;
    const double zeta = beta / w0;
    if (zeta < 1 && std::abs(zeta - 1) >= criticalTolerance) {
        // Envelope e^(-βt)·ω0/ωd.
        const double wd = std::sqrt(w0 * w0 - beta * beta);
        return std::max(0.0, std::log(w0 / wd / rest) / beta);
    }
    // Critical or overdamped: the motion itself is its envelope and falls monotonically.
    double low = 0, high = 1;
    while (offset(high) > rest && high < 1e6) high *= 2;
    for (int i = 0; i < bisectionSteps; ++i) {
        const double middle = (low + high) / 2;
        (offset(middle) > rest ? low : high) = middle;
    }
    return high;
}
