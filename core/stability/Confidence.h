#pragma once
// Confidence intervals of the stability deviations: the equivalent degrees of
// freedom (EDF) of each estimator and the chi-squared bounds that follow.
//
// A variance estimate s^2 with EDF nu is taken as s^2 = sigma^2 chi2(nu)/nu,
// so the two-sided interval at confidence c is
//
//   sigma_lo = s sqrt(nu / q((1+c)/2)),   sigma_hi = s sqrt(nu / q((1-c)/2))
//
// with q(p) the chi-squared quantile of nu degrees of freedom.
//
// The EDF of the overlapping Allan, modified Allan, time and overlapping
// Hadamard variances comes from the general algorithm of C. A. Greenhall and
// W. J. Riley ("Uncertainty of stability variances based on finite
// differences", 2003): the estimator is a filter of d-th differences of
// phase averaged over m samples (d = 2 Allan, d = 3 Hadamard; filter factor
// F = m plain, F = 1 modified; stride S = m for overlapping estimates), and
// 1/EDF is the normalised sum of the squared autocorrelation of its terms,
// known in closed form for each power-law noise alpha. Where more than 100
// autocorrelation lags would be needed, the sum is replaced by its integral
// limit a0/r - a1/r^2 (r = terms per stride); the constants a0, a1 are the
// integrals of the same autocorrelation, computed here once rather than
// copied from a table.
//
// The total deviation uses the fitted EDF of the total variance,
// b T/tau - c (white FM b = 1.50, c = 0; flicker FM 1.17, 0.22; random-walk
// FM 0.93, 0.36), T = N tau0 for N phase points; for PM noise (alpha >= 1)
// the overlapping Allan EDF.

#include <cstddef>

namespace velmor {

enum class EdfEstimator : unsigned char {
    Allan,     // overlapping Allan variance
    Modified,  // modified Allan variance (and the time variance)
    Hadamard,  // overlapping Hadamard variance
    Total,     // total variance
};

// The regularized lower incomplete gamma function P(a, x), a > 0, x >= 0.
double RegularizedGammaP(double a, double x);
// Its complement Q(a, x) = 1 - P(a, x), precise where P is near 1.
double RegularizedGammaQ(double a, double x);

// The p-quantile (0 < p < 1) of the chi-squared distribution with nu > 0
// degrees of freedom; NaN outside those ranges.
double ChiSquaredQuantile(double p, double nu);

// Greenhall's EDF for noise |alpha| (2 white PM ... -2 random-walk FM) with
// |d| differences (1..3), averaging factor m, filter factor F (1 for the
// modified variances, m for the plain ones; pass modified = true for F = 1),
// stride S and N phase points. NaN where the estimator has no term
// (N < m/F + m d) or the variance diverges for that noise (alpha + 2d <= 1).
double GreenhallEdf(int alpha, int d, std::size_t m, bool modified, std::size_t stride, std::size_t phasePoints);

// The EDF of one estimator at averaging factor m over N phase points.
double EquivalentDegreesOfFreedom(EdfEstimator estimator, int alpha, std::size_t m, std::size_t phasePoints);

struct CInterval {
    double m_dLow;
    double m_dHigh;
};

// The chi-squared interval of a deviation with |edf| degrees of freedom at
// |confidence| (0 < c < 1); NaN bounds when the EDF or the value is unusable.
CInterval ChiSquaredInterval(double deviation, double edf, double confidence);

}  // namespace velmor
