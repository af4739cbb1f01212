#pragma once
// Drift removal before the stability statistics, in three choices:
//
//   None    the data as they are;
//   Linear  a straight line fitted (least squares) to frequency, which is a
//           quadratic fitted to phase: the frequency offset and its linear
//           drift come out;
//   Mean    the mean frequency taken out of phase (for phase data the line
//           through the first and the last point, whose slope is the mean of
//           the first differences): the offset comes out, a drift stays.
//
// The Allan-family deviations and the total deviation ignore a constant
// frequency offset anyway; the time-interval errors (TIE rms, MTIE) do not.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "stability/Stability.h"

namespace velmor {

enum class DriftRemoval : std::uint8_t { None, Linear, Mean };

// What was taken out of one contiguous segment, in the data's own units per
// sample: y(i) = m_dOffset + m_dSlope * i is the removed fractional frequency
// at sample i (phase data: the derivative of the removed phase, divided by
// tau0 by the caller). Both zero for None.
struct CDriftFit {
    double m_dOffset = 0.0;
    double m_dSlope = 0.0;
};

// Takes the chosen model out of |values| (a contiguous, finite segment of
// |kind| data) in place and returns it. Phase in units u per sample gives a
// frequency of u per sample; the caller converts.
CDriftFit RemoveDrift(std::vector<double>& values, SeriesKind kind, DriftRemoval removal);

// Least-squares polynomial of degree 0..2 in the sample index, subtracted in
// place; returns the coefficients c0 + c1 i + c2 i^2 (index from 0). Done on
// orthogonal polynomials of the centred index, in long double, so millions of
// points stay well conditioned.
std::vector<long double> RemovePolynomial(std::span<double> values, int degree);

}  // namespace velmor
