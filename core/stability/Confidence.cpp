#include "stability/Confidence.h"

#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <numbers>

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// More autocorrelation lags than this are summed through the integral limit.
constexpr double kMaxLags = 100.0;

// log(x^a e^-x / Gamma(a)), the common factor of P and Q.
double GammaPrefactorLog(double a, double x)
{
    return a * std::log(x) - x - std::lgamma(a);
}

double GammaSeries(double a, double x)
{
    // P = x^a e^-x / Gamma(a+1) * sum x^k / ((a+1)...(a+k))
    double term = 1.0 / a;
    double sum = term;
    for (int k = 1; k < 100000; ++k) {
        term *= x / (a + k);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * 1e-17) break;
    }
    return sum * std::exp(GammaPrefactorLog(a, x));
}

double GammaContinuedFraction(double a, double x)
{
    // Q by the modified Lentz evaluation of Legendre's continued fraction.
    constexpr double tiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < tiny) d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < 1e-16) break;
    }
    return std::exp(GammaPrefactorLog(a, x)) * h;
}

// The chi-squared density of nu degrees of freedom at x > 0.
double ChiSquaredDensity(double x, double nu)
{
    const double k = nu / 2.0;
    return std::exp((k - 1.0) * std::log(x / 2.0) - x / 2.0 - std::lgamma(k)) / 2.0;
}

// ---- Greenhall's autocorrelation functions ----

// sw(t, alpha): the generalized autocovariance of the phase for power-law
// noise alpha, up to a factor.
double Sw(double t, int alpha)
{
    const double a = std::fabs(t);
    switch (alpha) {
    case 2: return -a;
    case 1: return a == 0.0 ? 0.0 : t * t * std::log(a);
    case 0: return a * a * a;
    case -1: return a == 0.0 ? 0.0 : -(t * t) * (t * t) * std::log(a);
    case -2: return -(a * a) * (a * a) * a;
    case -3: return a == 0.0 ? 0.0 : (t * t) * (t * t) * (t * t) * std::log(a);
    case -4: return (a * a) * (a * a) * (a * a) * a;
    default: return kNaN;
    }
}

// The filter of factor F on top (F infinite: the limit, which is sw of the
// noise two steps redder).
double Sx(double t, double filter, int alpha)
{
    if (std::isinf(filter)) return Sw(t, alpha + 2);
    return filter * filter * (2.0 * Sw(t, alpha) - Sw(t - 1.0 / filter, alpha) - Sw(t + 1.0 / filter, alpha));
}

// The weights of the d-th difference's autocovariance: w0 at t, wk at t +- k.
constexpr std::array<std::array<double, 4>, 4> kWeights = {{
    {0, 0, 0, 0}, {2, -1, 0, 0}, {6, -4, 1, 0}, {20, -15, 6, -1}}};

// The d-th difference on top: the autocovariance of the estimator's terms.
double Sz(double t, double filter, int alpha, int d)
{
    double sum = kWeights[d][0] * Sx(t, filter, alpha);
    for (int k = 1; k <= d; ++k) sum += kWeights[d][k] * (Sx(t - k, filter, alpha) + Sx(t + k, filter, alpha));
    return sum;
}

double BasicSum(double lags, double terms, double stride, double filter, int alpha, int d)
{
    const double z0 = Sz(0.0, filter, alpha, d);
    const double zj = Sz(lags / stride, filter, alpha, d);
    double sum = z0 * z0 + (1.0 - lags / terms) * zj * zj;
    for (double j = 1.0; j < lags; j += 1.0) {
        const double z = Sz(j / stride, filter, alpha, d);
        sum += 2.0 * (1.0 - j / terms) * z * z;
    }
    return sum;
}

// Integrals a0 = int sz^2, a1 = int |t| sz^2 over |t| < d + 1, normalised by
// sz(0)^2 unless |unnormalised|; composite Simpson on each unit interval.
// The flicker-PM limit (alpha = 1, F infinite) has a logarithmic singularity
// at each integer, so it takes the midpoint rule, which never samples there.
struct CLimitConstants {
    double a0 = kNaN;
    double a1 = kNaN;
};

CLimitConstants IntegrateLimit(double filter, int alpha, int d)
{
    const bool singular = std::isinf(filter) && alpha == 1;
    const auto sz = [&](double t) {
        if (singular) {
            // Away from the integers the filter of an infinite factor turns
            // t^2 ln|t| into -(2 ln|t| + 3); the constant cancels in sz.
            const auto sx = [](double u) { return -2.0 * std::log(std::fabs(u)); };
            double sum = kWeights[d][0] * sx(t);
            for (int k = 1; k <= d; ++k) sum += kWeights[d][k] * (sx(t - k) + sx(t + k));
            return sum;
        }
        return Sz(t, filter, alpha, d);
    };
    constexpr int kSteps = 4000;
    double i0 = 0.0;
    double i1 = 0.0;
    for (int unit = 0; unit <= d; ++unit) {
        const double h = 1.0 / kSteps;
        for (int s = 0; s < kSteps; ++s) {
            if (singular) {
                const double t = unit + (s + 0.5) * h;
                const double v = sz(t);
                i0 += v * v * h;
                i1 += t * v * v * h;
                continue;
            }
            const double t0 = unit + s * h;
            const double tm = t0 + h / 2;
            const double t1 = t0 + h;
            const double v0 = sz(t0) * sz(t0), vm = sz(tm) * sz(tm), v1 = sz(t1) * sz(t1);
            i0 += h / 6 * (v0 + 4 * vm + v1);
            i1 += h / 6 * (t0 * v0 + 4 * tm * vm + t1 * v1);
        }
    }
    CLimitConstants c;
    const double norm = singular ? 1.0 : Sz(0.0, filter, alpha, d) * Sz(0.0, filter, alpha, d);
    c.a0 = 2.0 * i0 / norm;  // both halves of the symmetric integrand
    c.a1 = 2.0 * i1 / norm;
    return c;
}

// Cached per (modified or infinite filter, alpha, d): computing one takes a
// few milliseconds.
const CLimitConstants& LimitConstants(bool modified, int alpha, int d)
{
    static std::mutex mutex;
    static std::array<std::array<std::array<CLimitConstants, 4>, 7>, 2> cache;
    static std::array<std::array<std::array<bool, 4>, 7>, 2> done{};
    const std::lock_guard<std::mutex> lock(mutex);
    CLimitConstants& slot = cache[modified ? 1 : 0][alpha + 4][d];
    if (!done[modified ? 1 : 0][alpha + 4][d]) {
        slot = IntegrateLimit(modified ? 1.0 : std::numeric_limits<double>::infinity(), alpha, d);
        done[modified ? 1 : 0][alpha + 4][d] = true;
    }
    return slot;
}

}  // namespace

double RegularizedGammaP(double a, double x)
{
    if (!(a > 0.0) || !(x >= 0.0) || std::isnan(x)) return kNaN;
    if (x == 0.0) return 0.0;
    if (std::isinf(x)) return 1.0;
    if (x < a + 1.0) return std::fmin(1.0, GammaSeries(a, x));
    return std::fmax(0.0, 1.0 - GammaContinuedFraction(a, x));
}

double RegularizedGammaQ(double a, double x)
{
    if (!(a > 0.0) || !(x >= 0.0) || std::isnan(x)) return kNaN;
    if (x == 0.0) return 1.0;
    if (std::isinf(x)) return 0.0;
    if (x < a + 1.0) return std::fmax(0.0, 1.0 - GammaSeries(a, x));
    return std::fmin(1.0, GammaContinuedFraction(a, x));
}

double ChiSquaredQuantile(double p, double nu)
{
    if (!(p > 0.0 && p < 1.0) || !(nu > 0.0) || std::isinf(nu)) return kNaN;
    // Above the median the upper tail is solved for, which keeps its
    // relative precision where P rounds to 1.
    const bool upper = p > 0.5;
    const double target = upper ? 1.0 - p : p;
    const auto cdf = [nu, upper](double x) {
        return upper ? -RegularizedGammaQ(nu / 2.0, x / 2.0) : RegularizedGammaP(nu / 2.0, x / 2.0);
    };
    // Wilson-Hilferty start, then Newton steps kept inside a bracket that
    // bisection shrinks whenever a step would leave it.
    const double z = [p] {
        // The normal quantile by Newton steps on erfc.
        double q = 0.0;
        for (int i = 0; i < 60; ++i) {
            const double f = 0.5 * std::erfc(-q / std::sqrt(2.0)) - p;
            const double density = std::exp(-q * q / 2.0) / std::sqrt(2.0 * std::numbers::pi);
            const double step = f / density;
            q -= std::fmax(-2.0, std::fmin(2.0, step));
            if (std::fabs(step) < 1e-15) break;
        }
        return q;
    }();
    const double k = 2.0 / (9.0 * nu);
    double x = nu * std::pow(std::fmax(1e-3, 1.0 - k + z * std::sqrt(k)), 3.0);
    double lo = 0.0;
    double hi = std::fmax(x, 1.0);
    const double goal = upper ? -target : target;
    while (cdf(hi) < goal) {
        lo = hi;
        hi *= 2.0;
        if (hi > 1e300) return kNaN;
    }
    if (!(x > lo && x < hi)) x = (lo + hi) / 2.0;
    for (int i = 0; i < 200; ++i) {
        const double f = cdf(x) - goal;
        if (f < 0.0) {
            lo = x;
        } else {
            hi = x;
        }
        const double density = ChiSquaredDensity(x, nu);
        double next = density > 0.0 ? x - f / density : kNaN;
        if (!(next > lo && next < hi)) next = (lo + hi) / 2.0;
        if (std::fabs(next - x) <= 1e-14 * x || hi - lo <= 1e-15 * hi) return next;
        x = next;
    }
    return x;
}

double GreenhallEdf(int alpha, int d, std::size_t mIn, bool modified, std::size_t strideIn, std::size_t n)
{
    if (d < 1 || d > 3 || alpha < -4 || alpha > 2 || alpha + 2 * d <= 1 || mIn == 0 || strideIn == 0) return kNaN;
    const double m = static_cast<double>(mIn);
    const double stride = static_cast<double>(strideIn);
    const double filter = modified ? 1.0 : m;
    const double length = m / filter + m * d;
    const double points = static_cast<double>(n);
    if (points < length) return kNaN;
    const double terms = 1.0 + std::floor(stride * (points - length) / m);
    const double lags = std::fmin(terms, (d + 1) * stride);
    const double r = terms / stride;
    const double inf = std::numeric_limits<double>::infinity();

    double inverse = kNaN;
    if (modified) {
        if (lags <= kMaxLags) {
            const double z0 = Sz(0.0, 1.0, alpha, d);
            inverse = BasicSum(lags, terms, stride, 1.0, alpha, d) / (z0 * z0 * terms);
        } else if (r > d + 1) {
            const CLimitConstants& c = LimitConstants(true, alpha, d);
            inverse = (c.a0 - c.a1 / r) / r;
        } else {
            const double z0 = Sz(0.0, 1.0, alpha, d);
            inverse = BasicSum(kMaxLags, kMaxLags, kMaxLags / r, 1.0, alpha, d) / (z0 * z0 * kMaxLags);
        }
    } else if (alpha <= 0) {
        if (lags <= kMaxLags) {
            const double f = m * (d + 1) <= kMaxLags ? m : inf;
            const double z0 = Sz(0.0, f, alpha, d);
            inverse = BasicSum(lags, terms, stride, f, alpha, d) / (z0 * z0 * terms);
        } else if (r > d + 1) {
            const CLimitConstants& c = LimitConstants(false, alpha, d);
            inverse = (c.a0 - c.a1 / r) / r;
        } else {
            const double z0 = Sz(0.0, inf, alpha, d);
            inverse = BasicSum(kMaxLags, kMaxLags, kMaxLags / r, inf, alpha, d) / (z0 * z0 * kMaxLags);
        }
    } else if (alpha == 1) {
        // Flicker PM: the variance grows with ln m, through sz(0).
        const double z0 = Sz(0.0, m, 1, d);
        if (lags <= kMaxLags) {
            inverse = BasicSum(lags, terms, stride, m, 1, d) / (z0 * z0 * terms);
        } else if (r > d + 1) {
            const CLimitConstants& c = LimitConstants(false, 1, d);
            inverse = (c.a0 - c.a1 / r) / (r * z0 * z0);
        } else {
            const double mp = kMaxLags / r;
            inverse = BasicSum(kMaxLags, kMaxLags, mp, mp, 1, d) / (z0 * z0 * kMaxLags);
        }
    } else {
        // White PM: the terms are correlated only at whole strides.
        if (lags <= kMaxLags || std::ceil(r) <= d) {
            const double z0 = Sz(0.0, m, 2, d);
            inverse = BasicSum(lags, terms, stride, m, 2, d) / (z0 * z0 * terms);
        } else {
            double a0 = 1.0;  // binomial(4d, 2d) / binomial(2d, d)^2
            for (int i = 1; i <= 2 * d; ++i) a0 *= static_cast<double>(2 * d + i) / i;
            double central = 1.0;
            for (int i = 1; i <= d; ++i) central *= static_cast<double>(d + i) / i;
            a0 /= central * central;
            inverse = (a0 - d / 2.0 / r) / terms;
        }
    }
    return inverse > 0.0 && std::isfinite(inverse) ? 1.0 / inverse : kNaN;
}

double EquivalentDegreesOfFreedom(EdfEstimator estimator, int alpha, std::size_t m, std::size_t phasePoints)
{
    switch (estimator) {
    case EdfEstimator::Allan: return GreenhallEdf(alpha, 2, m, false, m, phasePoints);
    case EdfEstimator::Modified: return GreenhallEdf(alpha, 2, m, true, m, phasePoints);
    case EdfEstimator::Hadamard: return GreenhallEdf(alpha, 3, m, false, m, phasePoints);
    case EdfEstimator::Total: {
        if (m == 0 || phasePoints < 3 || m > (phasePoints - 1) / 2) return kNaN;
        if (alpha >= 1) return GreenhallEdf(alpha, 2, m, false, m, phasePoints);
        const double ratio = static_cast<double>(phasePoints) / static_cast<double>(m);
        double edf = kNaN;
        if (alpha == 0) edf = 1.50 * ratio;
        if (alpha == -1) edf = 1.17 * ratio - 0.22;
        if (alpha == -2) edf = 0.93 * ratio - 0.36;
        return edf > 0.0 ? edf : kNaN;
    }
    }
    return kNaN;
}

CInterval ChiSquaredInterval(double deviation, double edf, double confidence)
{
    CInterval interval{kNaN, kNaN};
    if (!std::isfinite(deviation) || !(edf > 0.0) || !std::isfinite(edf) || !(confidence > 0.0 && confidence < 1.0)) {
        return interval;
    }
    const double upperQuantile = ChiSquaredQuantile((1.0 + confidence) / 2.0, edf);
    const double lowerQuantile = ChiSquaredQuantile((1.0 - confidence) / 2.0, edf);
    interval.m_dLow = deviation * std::sqrt(edf / upperQuantile);
    interval.m_dHigh = lowerQuantile > 0.0 ? deviation * std::sqrt(edf / lowerQuantile)
                                           : std::numeric_limits<double>::infinity();
    return interval;
}

}  // namespace velmor
