#pragma once
// The month of recorded rows the history benchmarks read: thirty days of one
// row a second from a locked unit, written once through the store into the
// temporary directory and kept there for later runs.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "history/HistoryStore.h"

namespace velmor::benchdata {

inline constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z
inline constexpr std::int64_t kDayMs = 86400000;

// A row as a locked unit writes it each second.
inline CHistoryRow TypicalRow(std::int64_t hostMs, int i)
{
    CHistoryRow row;
    row.m_llHostMs = hostMs;
    row.m_nUnitYear = 2026;
    row.m_nUnitMonth = 12;
    row.m_nUnitDay = 7;
    row.m_szUnitTimeOfDay = "341:10:00:00";
    row.m_chTimeMode = 'U';
    row.m_llUnitUtcMs = hostMs - 120;
    row.m_dPpsOffsetNs = std::round(20 * std::sin(i * 0.01)) + i % 3;
    row.m_nPpsCount = 1;
    row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
    row.m_dFrequencyError = 1.0e-12 * (i % 97);
    row.m_dFrequencyStdError = 2.5e-12;
    row.m_dDac = 32768 + i % 50;
    row.m_dTemperatureC = 40.0 + (i % 200) * 0.1;
    row.m_nDisciplineState = 1;
    row.m_nTfom = 3;
    row.m_chPositionMode = 'K';
    row.m_nSatellitesTracked = 8;
    row.m_nSatellitesUsed = 7 + i % 2;
    row.m_dMeanStrength = 41.5;
    row.m_nCoastDurationS = 0;
    return row;
}

// Thirty days of one-second rows, written once through the store and kept
// in the temporary directory for later runs.
inline const std::string& MonthDatabase()
{
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "velmor-bench-history-30d.sqlite3").string();
        if (std::filesystem::exists(p)) return p;
        CHistoryOptions options;
        options.m_strPath = p + ".part";
        options.m_nRawRetentionDays = 3650;
        options.m_clock = [] { return kT0; };
        {
            CHistoryStore store(options);
            store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
            const std::int64_t rows = 30 * 86400;
            for (std::int64_t i = 0; i < rows; ++i) {
                store.Append(TypicalRow(kT0 - 30 * kDayMs + i * 1000, static_cast<int>(i)));
                if (i % 8000 == 7999) store.Flush(60000);
            }
            store.Flush(60000);
        }
        std::filesystem::rename(p + ".part", p);
        std::error_code ec;
        std::filesystem::remove(p + ".part-wal", ec);
        std::filesystem::remove(p + ".part-shm", ec);
        return p;
    }();
    return path;
}

}  // namespace velmor::benchdata
