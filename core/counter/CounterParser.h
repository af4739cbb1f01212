#pragma once
// The lines of a time-interval counter. Two grammars:
//
//   timestamp  SECONDS.FRACTION chX      (a TICC in timestamp mode: SECONDS
//              unsigned digits, FRACTION 11 digits of ten picoseconds or 12
//              of picoseconds, X one of A B C D)
//   reading    [-]DIGITS[.DIGITS][e[+-]DIGITS] [TAG]   (seconds; a chX tag
//              names a channel, any other tag or none marks a value that
//              already is a phase or interval)
//
// Comment lines (#...), empty lines and everything before the first valid
// line (a boot banner) are skipped silently; later lines matching neither
// grammar are counted and skipped; a line longer than kMaxLine is dropped.
// The format is either forced or chosen from the first kDetectLines valid
// lines: timestamps when all carry chX tags, have the timestamp form and
// increase per channel.
//
// Values are exact: whole seconds plus picoseconds, never one double (a
// day's timestamps need 17 digits), so that chA - chB loses nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// Seconds plus picoseconds; m_ps is always in [0, 1e12), so -0.25 s is
// (-1, 750000000000).
struct CCounterTime {
    std::int64_t m_sec = 0;
    std::int64_t m_ps = 0;

    static constexpr std::int64_t kPsPerSecond = 1000000000000;
    // a - b in picoseconds; nullopt when it does not fit 64 bits (about 106 days).
    static std::optional<std::int64_t> DiffPs(const CCounterTime& a, const CCounterTime& b);
    double Seconds() const { return static_cast<double>(m_sec) + static_cast<double>(m_ps) * 1e-12; }
    friend bool operator==(const CCounterTime&, const CCounterTime&) = default;
    friend auto operator<=>(const CCounterTime&, const CCounterTime&) = default;
};

enum class CounterFormat { Auto, Timestamp, Reading };
// "timestamp", "reading" or "auto"; nullopt for anything else.
std::optional<CounterFormat> CounterFormatFromText(std::string_view text);
const char* CounterFormatText(CounterFormat format);

struct CCounterLine {
    // 'A'..'D' for a chX tag; 0 for a reading that is itself a phase.
    char m_channel = 0;
    // From the timestamp grammar (else a reading).
    bool m_bTimestamp = false;
    CCounterTime m_value;
    // The number as received (for the history's text column).
    std::string m_strText;
    // The tag as received (empty when none).
    std::string m_strTag;
    // The tick the line arrived at, as the caller of Feed gave it.
    std::uint64_t m_qwTick = 0;
};

// One line (without its line end) in each grammar; nullopt when it does not
// match. Surrounding blanks are allowed.
std::optional<CCounterLine> ParseTimestampLine(std::string_view line);
std::optional<CCounterLine> ParseReadingLine(std::string_view line);

class CCounterParser {
public:
    explicit CCounterParser(CounterFormat format = CounterFormat::Auto) : m_format(format) {}

    // Splits |data| into lines (CR, LF or CR LF) and appends every valid
    // sample to |out|, in order. While the format is being detected the
    // valid lines wait and come out together once it is known.
    // Each line carries |tick|, its time of arrival, even when it comes out
    // later.
    void Feed(const std::uint8_t* data, std::size_t size, std::vector<CCounterLine>& out, std::uint64_t tick = 0);
    void Feed(std::string_view text, std::vector<CCounterLine>& out, std::uint64_t tick = 0)
    {
        Feed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), out, tick);
    }
    // One complete line (no line end). Public for the tests and the fuzzer.
    void FeedLine(std::string_view line, std::vector<CCounterLine>& out, std::uint64_t tick = 0);

    // Auto until detected (or forced).
    CounterFormat Format() const { return m_format; }
    // Lines after the first valid one that matched neither grammar, and
    // over-long lines after it.
    std::uint64_t ParseErrors() const { return m_nParseErrors; }
    // Lines dropped for their length (also counted in ParseErrors once the
    // data began).
    std::uint64_t OverlongLines() const { return m_nOverlong; }
    std::uint64_t SkippedLines() const { return m_nSkipped; }

    static constexpr std::size_t kMaxLine = 256;
    static constexpr std::size_t kDetectLines = 5;

private:
    void Decide(std::vector<CCounterLine>& out);

    CounterFormat m_format;
    bool m_bStarted = false;  // a valid line has been seen
    std::string m_strLine;
    bool m_bOverlong = false;  // the line being read passed kMaxLine
    bool m_bAfterCR = false;
    // The raw lines held while the format is undecided.
    std::vector<std::pair<std::string, std::uint64_t>> m_pending;
    std::uint64_t m_nParseErrors = 0;
    std::uint64_t m_nOverlong = 0;
    std::uint64_t m_nSkipped = 0;
};

}  // namespace velmor
