// velmor-history export: one unit's recorded rows as CSV.

#include <limits>
#include <ostream>
#include <type_traits>

#include "CounterCommands.h"
#include "DatabaseCommands.h"
#include "StatsCommand.h"
#include "history/HistoryQuery.h"
#include "history/HistorySchema.h"
#include "history/HistoryTime.h"

namespace velmor::history {

namespace {

const char* const kExportUsage = R"(usage: velmor-history export [--db PATH] [--unit ID] [--from TIME] [--to TIME]

Writes the recorded rows of one unit as CSV on standard output: a header
line, then one line per row, oldest first. --unit is needed when the
database holds more than one unit (velmor-history list shows the ids).
TIME is UTC, e.g. 2026-12-07T10:00:00Z; --from is inclusive, --to exclusive.
An unknown value is an empty field. With --counter: the reference counter's
samples beside the unit's rows instead (export --counter --help).
)";

const char* const kHeader =
    "time_utc,unit_date,unit_time_of_day,time_mode,unit_time_utc,pps_offset_ns,pps_count,pps_samples_ns,"
    "pps_raw_ns,frequency_error,frequency_std_error,dac,temperature_c,discipline_state,tfom,position_mode,"
    "satellites_tracked,satellites_used,mean_strength,coast_duration_s,marker\n";

// A text field as CSV: quoted when it holds a separator, quote or line end.
void AppendText(std::string& line, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

template <typename T>
void AppendNumber(std::string& line, const std::optional<T>& value)
{
    if (!value) return;
    if constexpr (std::is_floating_point_v<T>) line += FormatDouble(*value);
    else line += std::to_string(*value);
}

void AppendChar(std::string& line, const std::optional<char>& value)
{
    if (value) AppendText(line, std::string_view(&*value, 1));
}

void FormatRow(const CHistoryRow& r, std::string& line)
{
    line.clear();
    line += FormatIsoUtcMs(r.m_llHostMs);
    line += ',';
    if (r.m_nUnitYear && r.m_nUnitMonth && r.m_nUnitDay) {
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", *r.m_nUnitYear, *r.m_nUnitMonth, *r.m_nUnitDay);
        line += date;
    }
    line += ',';
    AppendText(line, r.m_szUnitTimeOfDay.c_str());
    line += ',';
    AppendChar(line, r.m_chTimeMode);
    line += ',';
    if (r.m_llUnitUtcMs) line += FormatIsoUtcMs(*r.m_llUnitUtcMs);
    line += ',';
    AppendNumber(line, r.m_dPpsOffsetNs);
    line += ',';
    line += std::to_string(r.m_nPpsCount);
    line += ',';
    if (r.m_nPpsCount > 1) line += FormatPpsSamples(r);
    line += ',';
    AppendNumber(line, r.m_dPpsRawNs);
    line += ',';
    AppendNumber(line, r.m_dFrequencyError);
    line += ',';
    AppendNumber(line, r.m_dFrequencyStdError);
    line += ',';
    AppendNumber(line, r.m_dDac);
    line += ',';
    AppendNumber(line, r.m_dTemperatureC);
    line += ',';
    AppendNumber(line, r.m_nDisciplineState);
    line += ',';
    AppendNumber(line, r.m_nTfom);
    line += ',';
    AppendChar(line, r.m_chPositionMode);
    line += ',';
    AppendNumber(line, r.m_nSatellitesTracked);
    line += ',';
    AppendNumber(line, r.m_nSatellitesUsed);
    line += ',';
    AppendNumber(line, r.m_dMeanStrength);
    line += ',';
    AppendNumber(line, r.m_nCoastDurationS);
    line += ',';
    line += HistoryMarkerName(r.m_marker);
    line += '\n';
}

}  // namespace

int ExportMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (HasCounterFlag(args)) return ExportCounterMain(args, out, err);
    CDatabaseOptions options;
    std::string error;
    if (!ParseDatabaseOptions(args, true, options, error)) {
        err << "velmor-history export: " << error << "\n(see velmor-history export --help)\n";
        return kExitBadInput;
    }
    if (options.m_bHelp) {
        out << kExportUsage;
        return kExitOk;
    }
    CHistoryQuery query;
    int status = OpenDatabase("export", options.m_strDb, query, err);
    if (status != kExitOk) return status;
    std::int64_t unitId = 0;
    status = ChooseUnit("export", query, options.m_llUnit, unitId, err);
    if (status != kExitOk) return status;

    out << kHeader;
    std::string line;
    const bool read = query.ForEachRow(unitId, options.m_llFromMs.value_or(std::numeric_limits<std::int64_t>::min()),
                                       options.m_llToMs.value_or(std::numeric_limits<std::int64_t>::max()),
                                       [&](const CHistoryRow& row) {
                                           FormatRow(row, line);
                                           out.write(line.data(), static_cast<std::streamsize>(line.size()));
                                           return out.good();  // a closed pipe ends the export
                                       });
    if (!read) {
        err << "velmor-history export: reading the database failed: " << query.LastError() << '\n';
        return kExitFailure;
    }
    return out.good() ? kExitOk : kExitFailure;
}

}  // namespace velmor::history
