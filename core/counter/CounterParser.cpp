#include "counter/CounterParser.h"

#include <map>

namespace velmor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::size_t DigitRun(std::string_view s, std::size_t from)
{
    std::size_t i = from;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i - from;
}

// Splits "NUMBER[ blanks TAG]"; false when more than one tag follows.
bool SplitTag(std::string_view line, std::string_view& number, std::string_view& tag)
{
    line = Trim(line);
    std::size_t blank = 0;
    while (blank < line.size() && !IsBlank(line[blank])) ++blank;
    number = line.substr(0, blank);
    tag = Trim(line.substr(blank));
    for (char c : tag)
        if (IsBlank(c)) return false;
    return !number.empty();
}

char ChannelOfTag(std::string_view tag)
{
    if (tag.size() == 3 && tag[0] == 'c' && tag[1] == 'h' && tag[2] >= 'A' && tag[2] <= 'D') return tag[2];
    return 0;
}

// The digits |whole| and |fraction| with the decimal point moved |shift|
// places to the right, as seconds and picoseconds rounded half up. False
// when the whole seconds do not fit.
bool ToTime(std::string_view whole, std::string_view fraction, int shift, bool negative, CCounterTime& out)
{
    std::string digits;
    digits.reserve(whole.size() + fraction.size());
    digits.append(whole);
    digits.append(fraction);
    long point = static_cast<long>(whole.size()) + shift;  // digits before the point
    std::string intPart, fracPart;
    if (point <= 0) {
        fracPart.assign(static_cast<std::size_t>(-point), '0');
        fracPart += digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        intPart = digits;
        intPart.append(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        intPart = digits.substr(0, static_cast<std::size_t>(point));
        fracPart = digits.substr(static_cast<std::size_t>(point));
    }
    std::size_t lead = intPart.find_first_not_of('0');
    intPart = lead == std::string::npos ? std::string() : intPart.substr(lead);
    if (intPart.size() > 18) return false;
    std::int64_t sec = 0;
    for (char c : intPart) sec = sec * 10 + (c - '0');
    std::int64_t ps = 0;
    for (std::size_t i = 0; i < 12; ++i) ps = ps * 10 + (i < fracPart.size() ? fracPart[i] - '0' : 0);
    if (fracPart.size() > 12 && fracPart[12] >= '5') ++ps;
    if (ps == CCounterTime::kPsPerSecond) {
        ps = 0;
        ++sec;
    }
    if (negative && (sec != 0 || ps != 0)) {
        if (ps == 0) {
            sec = -sec;
        } else {
            sec = -sec - 1;
            ps = CCounterTime::kPsPerSecond - ps;
        }
    }
    out = {sec, ps};
    return true;
}

}  // namespace

std::optional<std::int64_t> CCounterTime::DiffPs(const CCounterTime& a, const CCounterTime& b)
{
    std::int64_t ds = 0, total = 0;
    if (__builtin_sub_overflow(a.m_sec, b.m_sec, &ds)) return std::nullopt;
    if (__builtin_mul_overflow(ds, kPsPerSecond, &total)) return std::nullopt;
    if (__builtin_add_overflow(total, a.m_ps - b.m_ps, &total)) return std::nullopt;
    return total;
}

std::optional<CounterFormat> CounterFormatFromText(std::string_view text)
{
    if (text == "timestamp") return CounterFormat::Timestamp;
    if (text == "reading") return CounterFormat::Reading;
    if (text == "auto") return CounterFormat::Auto;
    return std::nullopt;
}

const char* CounterFormatText(CounterFormat format)
{
    switch (format) {
    case CounterFormat::Timestamp: return "timestamp";
    case CounterFormat::Reading: return "reading";
    case CounterFormat::Auto: break;
    }
    return "auto";
}

std::optional<CCounterLine> ParseTimestampLine(std::string_view line)
{
    std::string_view number, tag;
    if (!SplitTag(line, number, tag)) return std::nullopt;
    char channel = ChannelOfTag(tag);
    if (!channel) return std::nullopt;
    std::size_t whole = DigitRun(number, 0);
    if (whole == 0 || whole >= number.size() || number[whole] != '.') return std::nullopt;
    std::size_t fraction = DigitRun(number, whole + 1);
    if (whole + 1 + fraction != number.size() || (fraction != 11 && fraction != 12)) return std::nullopt;
    CCounterLine out;
    if (!ToTime(number.substr(0, whole), number.substr(whole + 1), 0, false, out.m_value)) return std::nullopt;
    out.m_channel = channel;
    out.m_bTimestamp = true;
    out.m_strText = std::string(number);
    out.m_strTag = std::string(tag);
    return out;
}

std::optional<CCounterLine> ParseReadingLine(std::string_view line)
{
    std::string_view number, tag;
    if (!SplitTag(line, number, tag)) return std::nullopt;
    std::size_t i = 0;
    bool negative = false;
    if (number[i] == '-') {
        negative = true;
        ++i;
    }
    std::size_t whole = DigitRun(number, i);
    if (whole == 0) return std::nullopt;
    std::string_view wholeDigits = number.substr(i, whole);
    i += whole;
    std::string_view fractionDigits;
    if (i < number.size() && number[i] == '.') {
        std::size_t fraction = DigitRun(number, i + 1);
        if (fraction == 0) return std::nullopt;
        fractionDigits = number.substr(i + 1, fraction);
        i += 1 + fraction;
    }
    int exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) negativeExponent = number[i++] == '-';
        std::size_t digits = DigitRun(number, i);
        // Beyond three digits no value is a time a counter reads.
        if (digits == 0 || digits > 3) return std::nullopt;
        for (std::size_t k = 0; k < digits; ++k) exponent = exponent * 10 + (number[i + k] - '0');
        if (negativeExponent) exponent = -exponent;
        i += digits;
    }
    if (i != number.size()) return std::nullopt;
    CCounterLine out;
    if (!ToTime(wholeDigits, fractionDigits, exponent, negative, out.m_value)) return std::nullopt;
    out.m_channel = ChannelOfTag(tag);
    out.m_strText = std::string(number);
    out.m_strTag = std::string(tag);
    return out;
}

void CCounterParser::Feed(const std::uint8_t* data, std::size_t size, std::vector<CCounterLine>& out,
                          std::uint64_t tick)
{
    for (std::size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        bool crlf = c == '\n' && m_bAfterCR;
        m_bAfterCR = c == '\r';
        if (crlf) continue;  // CR LF ends one line
        if (c == '\r' || c == '\n') {
            if (m_bOverlong) {
                ++m_nOverlong;
                if (m_bStarted) ++m_nParseErrors;
            } else {
                FeedLine(m_strLine, out, tick);
            }
            m_strLine.clear();
            m_bOverlong = false;
            continue;
        }
        if (m_bOverlong) continue;
        if (m_strLine.size() >= kMaxLine) {
            m_bOverlong = true;
            m_strLine.clear();
            continue;
        }
        m_strLine.push_back(c);
    }
}

void CCounterParser::FeedLine(std::string_view raw, std::vector<CCounterLine>& out, std::uint64_t tick)
{
    if (raw.size() > kMaxLine) {
        ++m_nOverlong;
        if (m_bStarted) ++m_nParseErrors;
        return;
    }
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') {
        ++m_nSkipped;
        return;
    }
    std::optional<CCounterLine> parsed;
    switch (m_format) {
    case CounterFormat::Timestamp: parsed = ParseTimestampLine(line); break;
    case CounterFormat::Reading: parsed = ParseReadingLine(line); break;
    case CounterFormat::Auto:
        // Every timestamp line is also a reading line.
        if (!ParseReadingLine(line)) {
            if (m_bStarted)
                ++m_nParseErrors;
            else
                ++m_nSkipped;
            return;
        }
        m_bStarted = true;
        m_pending.emplace_back(std::string(line), tick);
        Decide(out);
        return;
    }
    if (!parsed) {
        if (m_bStarted)
            ++m_nParseErrors;
        else
            ++m_nSkipped;
        return;
    }
    m_bStarted = true;
    parsed->m_qwTick = tick;
    out.push_back(std::move(*parsed));
}

void CCounterParser::Decide(std::vector<CCounterLine>& out)
{
    // Timestamps while every line so far has the timestamp form and each
    // channel's values increase; one line against that settles it at once.
    bool timestamps = true;
    std::map<char, CCounterTime> last;
    for (const auto& [line, tick] : m_pending) {
        std::optional<CCounterLine> parsed = ParseTimestampLine(line);
        if (!parsed) {
            timestamps = false;
            break;
        }
        auto it = last.find(parsed->m_channel);
        if (it != last.end() && !(it->second < parsed->m_value)) {
            timestamps = false;
            break;
        }
        last[parsed->m_channel] = parsed->m_value;
    }
    if (timestamps && m_pending.size() < kDetectLines) return;
    m_format = timestamps ? CounterFormat::Timestamp : CounterFormat::Reading;
    std::vector<std::pair<std::string, std::uint64_t>> pending;
    pending.swap(m_pending);
    for (const auto& [line, tick] : pending) {
        std::optional<CCounterLine> parsed = timestamps ? ParseTimestampLine(line) : ParseReadingLine(line);
        if (!parsed) continue;
        parsed->m_qwTick = tick;
        out.push_back(std::move(*parsed));
    }
}

}  // namespace velmor
