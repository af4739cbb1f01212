#pragma once
// Time-interval error statistics of phase data (telecom masks) and the total
// deviation.
//
// For averaging factor m (tau = m tau0) over N phase points:
//
//   TIE rms   sqrt(mean over i of (x[i+m] - x[i])^2), N - m terms;
//   MTIE      the largest peak-to-peak phase excursion max - min within any
//             window of m + 1 consecutive points, N - m windows;
//   TOTDEV    the Allan terms of the series extended at both ends by
//             reflection about the end points (x[-j] = 2 x[0] - x[j],
//             x[N-1+j] = 2 x[N-1] - x[N-1-j]), taken at every i = 1 .. N-2:
//             TOTVAR = sum a^2 / (2 tau^2 (N - 2)).
//
// MTIE does not scan each window: a sparse table of window maxima and minima
// over 2^k points is built level by level in place, and a window of m + 1
// points is the union of two overlapping windows of the largest 2^k <= m + 1,
// so each averaging factor costs O(N) and the table O(N log m) in all.

#include <cstddef>
#include <span>
#include <vector>

namespace velmor {

struct CSquareSums {
    long double m_ldSum = 0.0L;
    std::size_t m_nTerms = 0;

    CSquareSums& operator+=(const CSquareSums& other)
    {
        m_ldSum += other.m_ldSum;
        m_nTerms += other.m_nTerms;
        return *this;
    }
};

// Squared time-interval errors of one contiguous segment at factor m.
CSquareSums AccumulateTieSums(std::span<const double> phase, std::size_t m);

// The reflected Allan terms of one contiguous segment at factor m (none
// unless N >= 2m + 1).
CSquareSums AccumulateTotalSums(std::span<const double> phase, std::size_t m);

struct CWindowSpread {
    double m_dSpread = 0.0;  // max - min over the worst window
    std::size_t m_nWindows = 0;
};

// MTIE of one contiguous segment at each of |multiples| (any order); a factor
// with m + 1 > N gives no window.
std::vector<CWindowSpread> MaxTimeIntervalErrors(std::span<const double> phase,
                                                 std::span<const std::size_t> multiples);

}  // namespace velmor
