#pragma once
// Reading a series for velmor-history stats: one number per line; blank lines
// and lines whose first non-blank character is '#' are skipped.

#include <iosfwd>
#include <string>
#include <vector>

namespace velmor::history {

enum class ReadResult {
    Ok,
    CannotOpen,  // the file could not be opened or read
    BadText,     // a line is not one finite number
};

// Appends the numbers of |in| to |values|; |name| is what messages call the
// input. On BadText |error| names the input and the line.
ReadResult ReadSeries(std::istream& in, const std::string& name, std::vector<double>& values,
                      std::string& error);

// The same from a file; "-" is standard input.
ReadResult ReadSeriesFile(const std::string& path, std::vector<double>& values, std::string& error);

}  // namespace velmor::history
