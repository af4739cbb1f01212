#include "SeriesFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string_view>
#include <system_error>

namespace velmor::history {

namespace {

std::string_view Trim(std::string_view text)
{
    const char* const blanks = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// A shown line is cut short and keeps only printable ASCII, so that a binary
// file can neither flood nor garble the terminal.
std::string Quote(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string shown(text.substr(0, kShown));
    for (char& c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) c = '?';
    }
    return "'" + shown + (text.size() > kShown ? "...'" : "'");
}

}  // namespace

ReadResult ReadSeries(std::istream& in, const std::string& name, std::vector<double>& values,
                      std::string& error)
{
    std::string line;
    errno = 0;
    for (long number = 1; std::getline(in, line); ++number) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#') continue;
        // from_chars takes no plus sign, which a hand-written file may have.
        std::string_view digits = text;
        if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
        double value = 0.0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        const std::string where = name + ":" + std::to_string(number) + ": ";
        if (ec == std::errc::result_out_of_range) {
            error = where + "number out of range: " + Quote(text);
            return ReadResult::BadText;
        }
        if (ec != std::errc() || end != digits.data() + digits.size()) {
            error = where + "not a number: " + Quote(text);
            return ReadResult::BadText;
        }
        if (!std::isfinite(value)) {
            error = where + "not a finite number: " + Quote(text);
            return ReadResult::BadText;
        }
        values.push_back(value);
    }
    if (in.bad()) {
        error = "cannot read " + name + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
        return ReadResult::CannotOpen;
    }
    return ReadResult::Ok;
}

ReadResult ReadSeriesFile(const std::string& path, std::vector<double>& values, std::string& error)
{
    if (path == "-") return ReadSeries(std::cin, "standard input", values, error);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return ReadResult::CannotOpen;
    }
    return ReadSeries(file, path, values, error);
}

}  // namespace velmor::history
