#pragma once
// The running in-place tokeniser the reply handlers read their fields with.
// Each step skips leading delimiters, takes the characters up to the next
// delimiter and continues after that delimiter next time; when only
// delimiters (or nothing) are left it yields no token. The delimiter set may
// change from step to step. An empty delimiter set yields the rest of the
// text unchanged.

#include <string>
#include <string_view>

namespace velmor {

class CTokenizer {
public:
    explicit CTokenizer(std::string_view text) : m_text(text) {}

    // True and the token in |out| when there is one.
    bool Next(std::string_view delimiters, std::string& out);

    // The first token of a body: delimiters space, comma and asterisk.
    bool Keyword(std::string& out) { return Next(" ,*", out); }
    // The next comma-separated field; empty fields collapse.
    bool Field(std::string& out) { return Next(",", out); }
    // Everything after the separator that ended the previous token.
    bool Rest(std::string& out) { return Next("", out); }

private:
    std::string m_text;
    std::size_t m_pos = 0;
    bool m_done = false;
};

}  // namespace velmor
