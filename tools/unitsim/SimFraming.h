#pragma once
// The sentence layer as the unit sees it.
//
// Replies go out as "$" body "*" and two upper-case hexadecimal digits of the
// XOR of the body, then CR LF. The legacy unit ends its sentences with a CR
// alone and so sends them without checksum: a receiver that takes the CR after
// checksum digits as the start of the next body would glue it to the "$" that
// follows, and lose every sentence after the first. Commands come in
// as "$" body "*" and a line end, without checksum digits. Some commands
// arrive framed twice ("$$pule*\r\n*\r\n", "$$ofst,-120**\r\n"), so the
// reader strips every leading "$", cuts the body at its first "*" and drops
// lines that are left empty. Reads may split a command anywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

std::uint8_t SentenceChecksum(std::string_view body);

// The whole reply sentence: "$" body "*" digits CR LF, or "$" body CR for the
// legacy unit. |bBadChecksum| writes digits that do not match.
std::string FrameReply(std::string_view body, bool bLegacy, bool bBadChecksum = false,
                       std::uint8_t byCorruption = 0x5A);

class CCommandReader {
public:
    // Appends every command body completed by these bytes to |commands|.
    void Feed(const char* data, std::size_t size, std::vector<std::string>& commands);

    // A line longer than this is garbage; it is dropped up to its line end.
    static constexpr std::size_t kMaxLine = 512;

private:
    std::string m_strLine;
    bool m_bOverflow = false;
};

// Splits a command or reply body at every comma, keeping empty fields
// ("ROUT,A,5,,0,1" has an empty value field that must survive).
std::vector<std::string> SplitFields(std::string_view body);

}  // namespace velmor
